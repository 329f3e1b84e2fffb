// The window title: who this receiver is (so a person knows which code to type)
// and what it is doing.
#pragma once

#include <string>

namespace vantor::receiver {

enum class PlayState { Waiting, Casting, Ended, Failed };

// sender: "host (address)" or the address; unused while waiting.
std::string windowTitle(const std::string& receiverName, const std::string& code, PlayState state,
                        const std::string& sender);

}  // namespace vantor::receiver
