// What a file dialog module hands back: the one name in the caller's buffer, every name in the
// module's list. Shared by the GTK module and its stand-in for tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mivora::dialog {

// The list never exceeds what the player reads of it (100,000 characters with the terminator).
inline constexpr std::size_t kMostListChars = 100000;

// Names from the toolkit, UTF-8. Names that don't fit name (nameChars - 1 characters) are left
// out, and so are names past the list's room. With one name left it is copied into name; with
// more, name is made empty so that no name of the selection is taken for the whole of it. The
// list (kept in the module until the next call) holds every name left, as CR LF lines.
// Returns the number of names left; 0 also empties name. list may be null.
std::int32_t DeliverNames(const std::vector<std::string>& names, char16_t* name,
                          std::int32_t nameChars, const char16_t** list);

// The patterns of a filter text: "*.avi,*.mp3" or "*.avi;*.mp3", blanks around them dropped.
std::vector<std::string> FilterPatterns(const char16_t* filter);

}  // namespace mivora::dialog
