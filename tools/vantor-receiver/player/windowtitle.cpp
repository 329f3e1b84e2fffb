#include "tools/vantor-receiver/player/windowtitle.h"

namespace vantor::receiver {

std::string windowTitle(const std::string& receiverName, const std::string& code, PlayState state,
                        const std::string& sender)
{
    std::string title = receiverName + " (cast code " + code + ") - ";
    switch (state) {
        case PlayState::Waiting:
            return title + "waiting for a cast";
        case PlayState::Casting:
            return title + "casting from " + sender;
        case PlayState::Ended:
            return title + "cast from " + sender + " ended";
        case PlayState::Failed:
            return title + "cast from " + sender + " ended with an error";
    }
    return title;
}

}  // namespace vantor::receiver
