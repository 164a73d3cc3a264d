#include "app/core/error_message.h"

namespace picsheet {

std::string MessageForDisplay(std::string message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  return message;
}

}  // namespace picsheet
