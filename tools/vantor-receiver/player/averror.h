// libav* error codes as text.
#pragma once

#include <string>

namespace vantor::receiver {

std::string averrorText(int code);

}  // namespace vantor::receiver
