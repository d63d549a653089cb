#include "modules/Init/options_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

namespace mivora::settings {

namespace {

constexpr std::size_t kMostFileBytes = 64 * 1024;

std::filesystem::path HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16 * 1024);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

// Up to kMostFileBytes of a regular file. Opened without blocking so that a pipe or a device put
// in the file's place cannot hold the player up.
bool ReadSmallFile(const std::filesystem::path& path, std::string& text) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  text.assign(ok ? kMostFileBytes : 0, '\0');
  std::size_t have = 0;
  while (ok && have < text.size()) {
    const ssize_t n = read(fd, text.data() + have, text.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    have += std::size_t(n);
  }
  close(fd);
  text.resize(ok ? have : 0);
  return ok;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

// A save cut short by a crash leaves its temporary file behind; later saves remove those older
// than a minute (a younger one may be another player's save under way).
void RemoveStaleTemporaries(const std::filesystem::path& folder, const std::string& prefix) {
  std::error_code error;
  const auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const auto written = entry.last_write_time(error);
    if (!error && entry.is_regular_file(error) && now - written > std::chrono::minutes(1))
      std::filesystem::remove(entry.path(), error);
  }
}

bool SyncFolder(const std::filesystem::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace

std::filesystem::path OptionsFilePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path folder;
  if (config != nullptr && config[0] == '/') {
    folder = config;
  } else {
    const std::filesystem::path home = HomeFolder();
    if (home.empty()) return {};
    folder = home / ".config";
  }
  return folder / "mivora" / "options.conf";
}

void LoadOptionsFile(PlayerOptions& options, const std::filesystem::path& path) {
  DefaultOptions(options);
  std::string text;
  if (!path.empty() && ReadSmallFile(path, text)) ReadOptionsText(options, text);
}

bool SaveOptionsFile(const PlayerOptions& options, const std::filesystem::path& path) {
  if (path.empty() || !path.has_filename()) return false;
  std::error_code error;
  // A file kept elsewhere through a link (a dotfiles folder) is replaced there, and the link kept.
  // The link may point at a file not made yet, so it is followed by hand; a loop of links fails.
  std::filesystem::path target = path;
  for (int hops = 0; std::filesystem::is_symlink(target, error); ++hops) {
    const std::filesystem::path next = std::filesystem::read_symlink(target, error);
    if (error || hops == 40) return false;
    target = (next.is_absolute() ? next : target.parent_path() / next).lexically_normal();
  }
  const std::filesystem::path folder =
      target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
  std::filesystem::create_directories(folder, error);
  if (error) return false;

  // The old file's permissions carry over; a first file is the user's own.
  mode_t mode = S_IRUSR | S_IWUSR;
  struct stat old {};
  if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode = old.st_mode & 07777;

  const std::string prefix = "." + target.filename().string() + ".";
  RemoveStaleTemporaries(folder, prefix);
  std::string temporary = (folder / (prefix + "XXXXXX")).string();
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, OptionsText(options)) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  return SyncFolder(folder);
}

}  // namespace mivora::settings
