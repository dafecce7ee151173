#include "web/LookupTexts.h"

#include "text/UserText.h"

namespace norvo {

const char* SaoriRequestFailureText(int result) {
    switch (result) {
        case 1:
            return kRequestFailedText;
        case 2:
        case 3:
            return kRequestAnswerBadText;
        case 4:
            return kRequestNotEndedText;
        default:
            return "";
    }
}

std::string SearchMessageText(const std::string& text) {
    return ComposeText(kSearchMessageText, {UserText(text)});
}

std::string NoDetectionText(const std::string& name) {
    return ComposeText(kNoDetectionText, {name});
}

std::string NoFaceText(const std::string& name) {
    return ComposeText(kNoFaceText, {name});
}

}  // namespace norvo
