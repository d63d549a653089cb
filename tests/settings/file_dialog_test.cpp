// The file dialog module's answer, its stand-in for tests, and the GTK module without a display.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "modules/GetFileName/chosen_names.h"
#include "modules/GetFileName/file_dialog_entry.h"
#include "modules/GetFileName/typed_address.h"
#include "platform/module.h"
#include "platform/wide_string.h"
#include "tests/settings/stand_in_dialog.h"
#include "tests/settings/temp_folder.h"

namespace mivora::test {
namespace {

using dialog::DeliverNames;

TEST(FileDialog, OneNameInTheBufferSeveralInTheListAndNothingThatDoesNotFit) {
  char16_t name[200];
  const char16_t* list = nullptr;
  EXPECT_EQ(DeliverNames({"/m/\xC3\xA9.avi"}, name, 200, &list), 1);
  EXPECT_EQ(std::u16string(name), u"/m/\u00E9.avi");
  EXPECT_EQ(std::u16string(list), u"/m/\u00E9.avi\r\n");

  // A name of 200 characters doesn't fit; nor one that would break its line. The buffer stays
  // empty with several, so that no single one stands for the selection.
  const std::string tooLong(200, 'x'), fits(199, 'y');
  EXPECT_EQ(DeliverNames({"a.avi", tooLong, "b\nc.avi", fits, "http://h/d.avi"}, name, 200, &list),
            3);
  EXPECT_EQ(name[0], 0);
  EXPECT_EQ(std::u16string(list),
            u"a.avi\r\n" + std::u16string(199, u'y') + u"\r\nhttp://h/d.avi\r\n");
  EXPECT_EQ(DeliverNames({tooLong}, name, 200, &list), 0);
  EXPECT_EQ(name[0], 0);
  EXPECT_EQ(list[0], 0);

  // The list stops before 100,000 characters.
  std::vector<std::string> many(1000, fits);
  const std::int32_t count = DeliverNames(many, name, 200, &list);
  EXPECT_EQ(count, 497);  // 497 lines of 201 characters and the terminator fit, 498 don't
  EXPECT_LT(std::char_traits<char16_t>::length(list), dialog::kMostListChars);

  EXPECT_EQ(dialog::FilterPatterns(u" *.avi, *.mp3;*.pdl,, "),
            (std::vector<std::string>{"*.avi", "*.mp3", "*.pdl"}));
}

TEST(FileDialog, TypedAddresses) {
  const auto read = [](std::string_view typed) { return dialog::ReadTypedAddress(typed, 200); };
  EXPECT_EQ(read("  example.com/a b.avi ").address, "http://example.com/a%20b.avi");
  EXPECT_EQ(read("HTTPS://Host:8080/x?y#z").address, "https://Host:8080/x?y#z");
  for (const char* refused :
       {"", "   ", "ftp://h/x", "file:///x", "http://", "http:///x", "http://h/\x01", "//h/x"}) {
    const auto typed = read(refused);
    EXPECT_TRUE(typed.address.empty()) << refused;
    EXPECT_FALSE(typed.problem.empty()) << refused;
  }
  EXPECT_TRUE(read("http://h/" + std::string(191, 'x')).address.empty());  // 200 characters
  EXPECT_FALSE(read("http://h/" + std::string(190, 'x')).address.empty());
}

// As the player's shell will call it: by "GetFileName.DLL" and the entry "1".
TEST(FileDialog, TheStandInAnswersAsTheEnvironmentSays) {
  const std::string folder = UseStandInDialog();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(platform::ModuleDirectory(), folder);
  platform::ModuleHandle other = platform::LoadModule(u"InputMedia.dll");  // still found
  EXPECT_NE(other, nullptr);
  platform::FreeModule(other);
  platform::ModuleHandle module = platform::LoadModule(u"GetFileName.DLL");
  ASSERT_NE(module, nullptr) << platform::ToUtf8(platform::LastErrorText());
  const auto entry = platform::GetEntryPointAs<GetFileNameFn>(module, kFileDialogEntry);
  ASSERT_NE(entry, nullptr);

  TempFolder logs;
  const std::string log = (logs.path() / "calls").string();
  setenv("MIVORA_TEST_DIALOG_LOG", log.c_str(), 1);
  char16_t name[200] = u"old";
  const char16_t* list = nullptr;
  unsetenv("MIVORA_TEST_DIALOG_ANSWER");
  EXPECT_EQ(entry(nullptr, u"*.avi,*.pdl", name, 200, &list, 7, 0), 0);
  EXPECT_EQ(name[0], 0);
  setenv("MIVORA_TEST_DIALOG_ANSWER", "/a/one.avi", 1);
  EXPECT_EQ(entry(nullptr, u"*.avi", name, 200, &list, 0, 0), 1);
  EXPECT_EQ(std::u16string(name), u"/a/one.avi");
  setenv("MIVORA_TEST_DIALOG_ANSWER", "/a/1.avi|/a/2.avi|http://h/3.avi", 1);
  EXPECT_EQ(entry(nullptr, u"", name, 200, &list, 0, 1), 3);
  EXPECT_EQ(std::u16string(list), u"/a/1.avi\r\n/a/2.avi\r\nhttp://h/3.avi\r\n");
  unsetenv("MIVORA_TEST_DIALOG_ANSWER");
  unsetenv("MIVORA_TEST_DIALOG_LOG");
  platform::FreeModule(module);

  std::ifstream file(log);
  std::stringstream lines;
  lines << file.rdbuf();
  EXPECT_EQ(lines.str(),
            "addressMode=0 dialogOption=7 nameChars=200 filter=*.avi,*.pdl\n"
            "addressMode=0 dialogOption=0 nameChars=200 filter=*.avi\n"
            "addressMode=1 dialogOption=0 nameChars=200 filter=\n");
}

// GTK can't open a display here: the dialog is "cancelled". In a child, as GTK stays loaded.
TEST(FileDialog, TheGtkModuleWithoutADisplayReturnsNothing) {
#ifdef MIVORA_NO_GTK_MODULE
  GTEST_SKIP() << "built without GTK 3: no GetFileName module";
#endif
  const std::string path = std::string(MIVORA_BIN_DIR) + "/GetFileName.so";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) _exit(10);
    if (dlsym(module, "GetFileNameByOrdinal") != nullptr) _exit(11);  // only "1" is exported
    const auto entry = reinterpret_cast<GetFileNameFn>(dlsym(module, "1"));
    if (entry == nullptr) _exit(12);
    char16_t name[200] = u"old";
    const char16_t* list = nullptr;
    if (entry(nullptr, u"*.avi", name, 200, &list, 0, 0) != 0) _exit(13);
    if (entry(nullptr, u"", name, 200, &list, 0, 1) != 0) _exit(14);
    _exit(name[0] == 0 && list != nullptr && list[0] == 0 ? 0 : 15);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace mivora::test
