// The file dialog module "GetFileName.DLL" as the player calls it. The player reaches its one
// entry by ordinal 1; a shared object has names, not ordinals, so the entry is exported under the
// name "1" (kFileDialogEntry) and looked up by that name.
//
// owner        the player's main window; the dialog is a window of its own toolkit and only
//              stands for being owned by it (it is modal: the call returns when it is closed).
// filter       the file patterns offered, "*.avi,*.mp3" (commas or semicolons between them).
// name         nameChars wide characters (200): one chosen name, terminated; empty otherwise.
// list         receives the module's list of every chosen name, each line ended by CR LF as in
//              a ".pdl" file, then a terminating zero; valid until the next call.
// dialogOption the DialogOption of PlayerOptions: bit 0 shows hidden files; other bits unused.
// addressMode  0 chooses files, 1 asks for an http:// or https:// address.
// Result: the number of names chosen, 0 when cancelled or when nothing chosen fits name
// (199 characters at most).
#pragma once

#include <cstdint>
#include <type_traits>

namespace mivora {

using GetFileNameFn = std::int32_t (*)(void* owner, const char16_t* filter, char16_t* name,
                                       std::int32_t nameChars, const char16_t** list,
                                       std::int32_t dialogOption, std::int32_t addressMode);

inline constexpr char16_t kFileDialogEntry[] = u"1";

}  // namespace mivora

// Exports function (an extern "C" function of the GetFileNameFn type, defined above the macro)
// as the entry "1". GCC writes an assembler name as given, and a name that is a number needs
// quotes there; clang quotes it itself. An alias, so that no code is ever emitted under the name
// (GCC's split-off cold parts would carry it and be refused by the assembler).
#if defined(__clang__)
#define MIVORA_FILE_DIALOG_EXPORT_NAME "1"
#else
#define MIVORA_FILE_DIALOG_EXPORT_NAME "\"1\""
#endif
#define MIVORA_FILE_DIALOG_ENTRY(function)                                                 \
  static_assert(std::is_same_v<decltype(&function), mivora::GetFileNameFn>);               \
  extern "C" __attribute__((visibility("default"), alias(#function))) std::int32_t         \
  MivoraFileDialogEntry(void*, const char16_t*, char16_t*, std::int32_t, const char16_t**, \
                        std::int32_t, std::int32_t) __asm__(MIVORA_FILE_DIALOG_EXPORT_NAME)
