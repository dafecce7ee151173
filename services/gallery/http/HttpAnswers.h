#pragma once

#include <string>

#include "services/gallery/detect/PictureDecoder.h"
#include "services/gallery/fetch/WebClient.h"
#include "services/gallery/wire/PicturePaths.h"

namespace norvo {

// An HTTP status and the one-line text the service answers with.
struct HttpAnswer {
    int status = 200;
    std::string text;
};

// The one mapping of the service's own statuses to what a client is told.
HttpAnswer AnswerFor(PathStatus status);
HttpAnswer AnswerFor(DecodeStatus status);
// For a picture of another host that could not be fetched.
HttpAnswer AnswerForFetch(const WebClient::Reply& reply);

}  // namespace norvo
