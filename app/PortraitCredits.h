#pragma once

#include <string>

#include "imaging/PortraitLabel.h"
#include "text/UserText.h"
#include "web/PictureSource.h"

namespace norvo {

// What the user sees of the credits after saving: a heading, then one line per picture.
inline constexpr char kCreditsHeading[] = NORVO_TEXT("出典:");
inline constexpr char kBodyRoleText[] = NORVO_TEXT("本体");
inline constexpr char kFaceRoleText[] = NORVO_TEXT("顔");
// Shown in the details when the portrait was saved but its label could not be written.
inline constexpr char kLabelFailedText[] = NORVO_TEXT("画像にラベルを書き込めませんでした。");

// The two source pictures of a portrait: who they show and where they come from.
struct PortraitSources {
    std::string body;  // the typed names, in the locale's character set
    std::string face;
    PictureCredit bodyCredit;
    PictureCredit faceCredit;
};

// One picture's credit without its role: its file, author, licence (with its address), that
// personality rights may apply where the source says so, and its page, separated by " — ",
// each left out when unknown.
std::string CreditText(const PictureCredit& credit);

// One line of the credits shown: "<role> (<name>): <credit>".
std::string CreditLineText(const char* role, const std::string& name, const std::string& credit);

// The details shown with the saved message: the heading and a line for each picture.
std::string CreditsDetails(const PortraitSources& sources);

// "A joke portrait made with norvo: <face>'s face on <body>'s picture." for UTF-8 names.
std::string PortraitDescription(const std::string& bodyUtf8, const std::string& faceUtf8);

// The metadata of the portrait made from `sources` (English, as metadata is read anywhere;
// names converted to UTF-8).
PortraitLabel MakePortraitLabel(const PortraitSources& sources);

// Whether portraits are labelled: false only when `noLabelOption` is set, or NORVO_LABEL or the
// settings file's "label" says no ("no", "false", "off", "0").
bool LabelWanted(bool noLabelOption);

}  // namespace norvo
