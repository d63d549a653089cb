// Loadable modules, found by the names the player uses ("InputMedia.dll") beside the program.
#pragma once

#include <string>
#include <string_view>

namespace mivora::platform {

using ModuleHandle = void*;

// Loads a module by its player name. A trailing ".dll" in any letter case is replaced by this
// platform's ".so"; the base name keeps its case. A name without a folder is looked up in the
// module folder (the program's own folder unless changed). Null on failure; LastErrorText() says
// why.
ModuleHandle LoadModule(std::u16string_view name);

// Entry point by exact, case-sensitive name; null when the module lacks it.
void* GetEntryPoint(ModuleHandle module, std::u16string_view name);

// Typed convenience over GetEntryPoint.
template <typename Fn>
Fn GetEntryPointAs(ModuleHandle module, std::u16string_view name) {
  return reinterpret_cast<Fn>(GetEntryPoint(module, name));
}

void FreeModule(ModuleHandle module);

// The file a player module name maps to, e.g. "/opt/mivora/bin/InputMedia.so".
std::string ModuleFilePath(std::u16string_view name);

// Folder of the running program (no trailing slash).
std::string ProgramDirectory();

// Where modules are looked up; defaults to ProgramDirectory(). Tests point it at their own folder.
void SetModuleDirectory(const std::string& folder);
std::string ModuleDirectory();

// Text of the last failure of a platform call on this thread (module loading, files).
std::u16string LastErrorText();
void SetLastErrorText(std::u16string_view text);

}  // namespace mivora::platform
