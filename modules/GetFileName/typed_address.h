// The address typed into the address dialog, made into one the player can open or refused with
// a line saying why.
#pragma once

#include <string>
#include <string_view>

namespace mivora::dialog {

struct TypedAddress {
  std::string address;  // UTF-8; empty when refused
  std::string problem;  // shown under the entry when refused
};

// Blanks around it dropped; without a scheme "http://" is put in front; the scheme in lower case
// and only http or https; a host must follow; spaces inside become %20; other control characters
// refuse it; so does a length of mostChars characters or more (UTF-16, as the player keeps it).
TypedAddress ReadTypedAddress(std::string_view typed, std::size_t mostChars);

}  // namespace mivora::dialog
