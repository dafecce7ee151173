#include "services/gallery/http/HttpAnswers.h"

namespace norvo {

HttpAnswer AnswerFor(PathStatus status) {
    switch (status) {
        case PathStatus::Ok:
            return {200, describe(status)};
        case PathStatus::BadEncoding:
            return {400, describe(status)};
        case PathStatus::Outside:
            return {403, describe(status)};
        case PathStatus::NotFound:
            break;
    }
    return {404, describe(status)};
}

HttpAnswer AnswerFor(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::Ok:
            return {200, describe(status)};
        case DecodeStatus::Unreadable:
            return {500, describe(status)};
        case DecodeStatus::NotAPicture:
        case DecodeStatus::TooLarge:
            break;
    }
    return {422, describe(status)};
}

HttpAnswer AnswerForFetch(const WebClient::Reply& reply) {
    switch (reply.status) {
        case FetchStatus::BadAddress:
        case FetchStatus::SchemeRefused:
        case FetchStatus::RedirectRefused:
            return {400, "only http and https addresses are fetched"};
        case FetchStatus::TooLarge:
            return {422, "the picture is larger than 16 MiB"};
        case FetchStatus::AddressRefused:
            return {403, "the picture's address is in a local or private network"};
        case FetchStatus::HttpStatus:
            return {502, "the picture's server answered with an error"};
        default:
            return {502, "the picture could not be fetched"};
    }
}

}  // namespace norvo
