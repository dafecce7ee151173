#include "app/PortraitCredits.h"

#include <tuple>

#include "app/UserSettings.h"
#include "norvo/Version.h"
#include "web/TextEncoding.h"

namespace norvo {

namespace {

constexpr char kCreditSeparator[] = " — ";
constexpr char kLabelVariable[] = "NORVO_LABEL";
constexpr char kBodyRoleLabel[] = "Body picture";
constexpr char kFaceRoleLabel[] = "Face picture";

// Locale bytes as UTF-8 (bytes the locale's set does not define become U+FFFD); the bytes as
// they are when they cannot be converted at all.
std::string LocaleToUtf8(const std::string& text) {
    return LocaleTextToUtf8(text.c_str()).value_or(text);
}

void Append(std::string& out, const std::string& part) {
    if (part.empty()) {
        return;
    }
    if (!out.empty()) {
        out += kCreditSeparator;
    }
    out += part;
}

std::string LicenceText(const PictureCredit& credit) {
    if (credit.licenseUrl.empty()) {
        return credit.license;
    }
    return credit.license.empty() ? credit.licenseUrl
                                  : credit.license + " (" + credit.licenseUrl + ")";
}

}  // namespace

std::string CreditText(const PictureCredit& credit) {
    std::string out;
    Append(out, credit.file);
    Append(out, credit.author);
    Append(out, LicenceText(credit));
    Append(out, credit.page);
    return out;
}

std::string CreditLineText(const char* role, const std::string& name, const std::string& credit) {
    return std::string(role) + " (" + name + "): " + credit;
}

std::string CreditsDetails(const PortraitSources& sources) {
    return UserText(kCreditsHeading) + "\n" +
           CreditLineText(UserText(kBodyRoleText).c_str(), sources.body,
                          CreditText(sources.bodyCredit)) +
           "\n" +
           CreditLineText(UserText(kFaceRoleText).c_str(), sources.face,
                          CreditText(sources.faceCredit));
}

std::string PortraitDescription(const std::string& bodyUtf8, const std::string& faceUtf8) {
    return "A joke portrait made with norvo: " + faceUtf8 + "'s face on " + bodyUtf8 +
           "'s picture.";
}

PortraitLabel MakePortraitLabel(const PortraitSources& sources) {
    const std::string body = LocaleToUtf8(sources.body);
    const std::string face = LocaleToUtf8(sources.face);
    PortraitLabel label;
    label.description = PortraitDescription(body, face);
    label.creatorTool = std::string("norvo ") + kProgramVersion;
    for (const auto& [role, name, credit] :
         {std::tuple{kBodyRoleLabel, &body, &sources.bodyCredit},
          std::tuple{kFaceRoleLabel, &face, &sources.faceCredit}}) {
        label.credits.push_back(CreditLineText(role, *name, CreditText(*credit)));
        const std::string licence = LicenceText(*credit);
        if (!licence.empty()) {
            label.licences.push_back(std::string(role) + ": " + licence);
        }
    }
    return label;
}

bool LabelWanted(bool noLabelOption) {
    const std::string value =
        ResolveSetting(noLabelOption ? "no" : "", kLabelVariable, UserSettings(), kLabelKey, "yes");
    return value != "no" && value != "false" && value != "off" && value != "0";
}

}  // namespace norvo
