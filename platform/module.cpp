#include "platform/module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>

#include "platform/wide_string.h"

namespace mivora::platform {

namespace {
std::mutex g_folderMutex;
std::string g_moduleFolder;  // empty: the program's folder
thread_local std::u16string t_lastError;

bool EndsWithDll(std::u16string_view name) {
  if (name.size() < 4) return false;
  auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; };
  const std::u16string_view tail = name.substr(name.size() - 4);
  return tail[0] == u'.' && lower(tail[1]) == u'd' && lower(tail[2]) == u'l' &&
         lower(tail[3]) == u'l';
}
}  // namespace

std::string ProgramDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

void SetModuleDirectory(const std::string& folder) {
  std::lock_guard<std::mutex> hold(g_folderMutex);
  g_moduleFolder = folder;
}

std::string ModuleDirectory() {
  {
    std::lock_guard<std::mutex> hold(g_folderMutex);
    if (!g_moduleFolder.empty()) return g_moduleFolder;
  }
  return ProgramDirectory();
}

std::string ModuleFilePath(std::u16string_view name) {
  std::u16string base(name);
  if (EndsWithDll(base)) base.resize(base.size() - 4);
  std::string file = ToUtf8(base) + ".so";
  if (file.find('/') == std::string::npos) file = ModuleDirectory() + "/" + file;
  return file;
}

ModuleHandle LoadModule(std::u16string_view name) {
  if (name.empty()) {
    SetLastErrorText(u"The specified module could not be found.");
    return nullptr;
  }
  const std::string file = ModuleFilePath(name);
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    SetLastErrorText(FromUtf8(why != nullptr ? why : "The specified module could not be found."));
  }
  return handle;
}

void* GetEntryPoint(ModuleHandle module, std::u16string_view name) {
  if (module == nullptr || name.empty()) return nullptr;
  dlerror();
  void* entry = dlsym(module, ToUtf8(name).c_str());
  if (entry == nullptr) SetLastErrorText(u"The specified procedure could not be found.");
  return entry;
}

void FreeModule(ModuleHandle module) {
  if (module != nullptr) dlclose(module);
}

std::u16string LastErrorText() {
  return t_lastError;
}
void SetLastErrorText(std::u16string_view text) {
  t_lastError = text;
}

}  // namespace mivora::platform
