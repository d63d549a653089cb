// The GTK dialogs of GetFileName on a real (virtual) X display, driven from inside the process:
// a timer on GTK's main loop finds the dialog the module shows and answers it as a user would.
// Run under xvfb-run.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "modules/GetFileName/file_dialog_entry.h"
#include "tests/settings/temp_folder.h"

namespace mivora::test {
namespace {

GetFileNameFn Entry() {
  static void* module = dlopen(MIVORA_BIN_DIR "/GetFileName.so", RTLD_NOW | RTLD_LOCAL);
  return module ? reinterpret_cast<GetFileNameFn>(dlsym(module, "1")) : nullptr;
}

GtkWidget* FindNamed(GtkWidget* widget, const char* name) {
  if (g_strcmp0(gtk_widget_get_name(widget), name) == 0) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* child = children; child && !found; child = child->next)
    found = FindNamed(GTK_WIDGET(child->data), name);
  g_list_free(children);
  return found;
}

// Calls answer(dialog) every 50 ms with the visible dialog shown, until it returns true (it has
// answered) or 10 s have passed (then the dialog is cancelled, and the test fails on its result).
void AnswerWith(std::function<bool(GtkWindow*)> answer) {
  struct Pending {
    std::function<bool(GtkWindow*)> answer;
    int ticks = 0;
  };
  g_timeout_add(
      50,
      [](gpointer data) -> gboolean {
        auto* pending = static_cast<Pending*>(data);
        GList* windows = gtk_window_list_toplevels();
        GtkWindow* shown = nullptr;
        for (GList* w = windows; w; w = w->next)
          if (GTK_IS_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
            shown = GTK_WINDOW(w->data);
        g_list_free(windows);
        bool done = shown && pending->answer(shown);
        if (!done && ++pending->ticks == 200 && shown) {
          gtk_dialog_response(GTK_DIALOG(shown), GTK_RESPONSE_CANCEL);
          done = true;
        }
        if (done) delete pending;
        return done ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
      },
      new Pending{std::move(answer)});
}

TEST(GtkFileDialog, AddressDialogRefusesWhatCannotBeOpened) {
  ASSERT_NE(Entry(), nullptr);
  int step = 0;
  std::string problem;
  AnswerWith([&](GtkWindow* dialog) {
    GtkWidget* entry = FindNamed(GTK_WIDGET(dialog), "address");
    if (entry == nullptr) return false;
    if (step++ == 0) {
      gtk_entry_set_text(GTK_ENTRY(entry), "ftp://host/x.avi");
      gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
      return false;  // it stays open, saying why
    }
    problem = gtk_label_get_text(GTK_LABEL(FindNamed(GTK_WIDGET(dialog), "problem")));
    gtk_entry_set_text(GTK_ENTRY(entry), "  example.com/a b.avi");
    gtk_widget_activate(entry);  // Enter
    return true;
  });
  char16_t name[200] = {};
  const char16_t* list = nullptr;
  EXPECT_EQ(Entry()(nullptr, u"", name, 200, &list, 0, 1), 1);
  EXPECT_EQ(std::u16string(name), u"http://example.com/a%20b.avi");
  EXPECT_NE(problem, "");
}

TEST(GtkFileDialog, FileChooserTakesSeveralFilesWithTheFilter) {
  ASSERT_NE(Entry(), nullptr);
  TempFolder folder;
  const std::string a = (folder.path() / "one.avi").string();
  const std::string b = (folder.path() / "TWO.AVI").string();
  std::ofstream(a) << "x";
  std::ofstream(b) << "x";
  std::vector<std::string> filters;
  bool selected = false;
  AnswerWith([&](GtkWindow* dialog) {
    if (!GTK_IS_FILE_CHOOSER(dialog)) return false;
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    if (!selected) {
      GSList* list = gtk_file_chooser_list_filters(chooser);
      for (GSList* f = list; f; f = f->next)
        filters.emplace_back(gtk_file_filter_get_name(GTK_FILE_FILTER(f->data)));
      g_slist_free(list);
      gtk_file_chooser_set_current_folder(chooser, folder.path().c_str());
      selected = true;
    }
    // The folder loads in the background: select again until both are taken. (Selecting one
    // file after another replaces the selection; a user's Ctrl+A does not.)
    gtk_file_chooser_select_all(chooser);
    GSList* chosen = gtk_file_chooser_get_filenames(chooser);
    const guint count = g_slist_length(chosen);
    g_slist_free_full(chosen, g_free);
    if (count != 2) return false;
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    return true;
  });
  char16_t name[200] = u"old";
  const char16_t* list = nullptr;
  EXPECT_EQ(Entry()(nullptr, u"*.avi,*.pdl", name, 200, &list, 0, 0), 2);
  EXPECT_EQ(name[0], 0);
  const std::string text(list, list + std::char_traits<char16_t>::length(list));
  // Both, each on a CR LF line (the order is the toolkit's).
  EXPECT_NE(text.find(a + "\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(b + "\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.size(), a.size() + b.size() + 4);
  EXPECT_EQ(filters, (std::vector<std::string>{"Media and playlists (*.avi, *.pdl)", "All files"}));
}

}  // namespace
}  // namespace mivora::test
