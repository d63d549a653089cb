#include "modules/GetFileName/gtk_dialogs.h"

#include <gtk/gtk.h>

#include <clocale>

#include "modules/GetFileName/typed_address.h"

namespace mivora::dialog {

namespace {

std::string& LastFolder() {
  static std::string folder;
  return folder;
}
std::string& LastAddress() {
  static std::string address = "http://";
  return address;
}

// Lets GTK take the closed dialog off the screen before the player draws again.
void SettleEvents() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

std::string Upper(const std::string& text) {
  std::string upper = text;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return upper;
}

}  // namespace

bool GtkReady() {
  static bool tried = false;
  static bool ready = false;
  if (!tried) {
    // GTK would set every locale category from the environment, which would change how the
    // player's own code formats and reads numbers; only its messages follow the user's language.
    gtk_disable_setlocale();
    std::setlocale(LC_MESSAGES, "");
    tried = true;
  }
  if (!ready) ready = gtk_init_check(nullptr, nullptr);
  return ready;
}

std::vector<std::string> ChooseFiles(const std::vector<std::string>& patterns, bool showHidden) {
  GtkFileChooserNative* native = gtk_file_chooser_native_new(
      "Open", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(native);
  gtk_file_chooser_set_select_multiple(chooser, TRUE);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_show_hidden(chooser, showHidden ? TRUE : FALSE);
  if (!patterns.empty()) {
    GtkFileFilter* media = gtk_file_filter_new();
    std::string title;
    for (const std::string& pattern : patterns) {
      title += (title.empty() ? "" : ", ") + pattern;
      // Patterns match letter case exactly; files named on other systems are often in capitals.
      gtk_file_filter_add_pattern(media, pattern.c_str());
      if (Upper(pattern) != pattern) gtk_file_filter_add_pattern(media, Upper(pattern).c_str());
    }
    gtk_file_filter_set_name(media, ("Media and playlists (" + title + ")").c_str());
    gtk_file_chooser_add_filter(chooser, media);
    GtkFileFilter* all = gtk_file_filter_new();
    gtk_file_filter_set_name(all, "All files");
    gtk_file_filter_add_pattern(all, "*");
    gtk_file_chooser_add_filter(chooser, all);
  }
  // GTK would open at its list of recent files; a player started in a folder of films is better
  // served by that folder, and by the last one chosen from then on.
  if (LastFolder().empty()) {
    gchar* current = g_get_current_dir();
    LastFolder() = g_strcmp0(current, "/") == 0 ? g_get_home_dir() : current;
    g_free(current);
  }
  gtk_file_chooser_set_current_folder(chooser, LastFolder().c_str());

  std::vector<std::string> names;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(native)) == GTK_RESPONSE_ACCEPT) {
    GSList* files = gtk_file_chooser_get_filenames(chooser);
    for (GSList* file = files; file != nullptr; file = file->next) {
      // The player keeps names as UTF-16: a name whose bytes are no UTF-8 can't be kept exactly.
      const auto* path = static_cast<const char*>(file->data);
      if (g_utf8_validate(path, -1, nullptr)) names.emplace_back(path);
    }
    g_slist_free_full(files, g_free);
    if (!names.empty()) {
      gchar* folder = g_path_get_dirname(names.front().c_str());
      LastFolder() = folder;
      g_free(folder);
    }
  }
  g_object_unref(native);
  SettleEvents();
  return names;
}

std::string AskAddress(std::size_t mostChars) {
  GtkWidget* dialog =
      gtk_dialog_new_with_buttons("Open Address", nullptr, GTK_DIALOG_MODAL, "_Cancel",
                                  GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(area), 12);
  gtk_box_set_spacing(GTK_BOX(area), 6);
  GtkWidget* prompt = gtk_label_new("Address of a file or stream (http:// or https://):");
  gtk_label_set_xalign(GTK_LABEL(prompt), 0);
  GtkWidget* entry = gtk_entry_new();
  gtk_widget_set_name(entry, "address");
  gtk_entry_set_width_chars(GTK_ENTRY(entry), 60);
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_entry_set_text(GTK_ENTRY(entry), LastAddress().c_str());
  GtkWidget* problem = gtk_label_new("");
  gtk_widget_set_name(problem, "problem");
  gtk_label_set_xalign(GTK_LABEL(problem), 0);
  gtk_box_pack_start(GTK_BOX(area), prompt, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(area), problem, FALSE, FALSE, 0);
  gtk_widget_show_all(dialog);

  std::string address;
  while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    const TypedAddress typed = ReadTypedAddress(gtk_entry_get_text(GTK_ENTRY(entry)), mostChars);
    if (!typed.address.empty()) {
      address = typed.address;
      LastAddress() = address;
      break;
    }
    gtk_label_set_text(GTK_LABEL(problem), typed.problem.c_str());
  }
  gtk_widget_destroy(dialog);
  SettleEvents();
  return address;
}

void TellNamesLeftOut(std::size_t leftOut, std::size_t mostChars) {
  GtkWidget* box = gtk_message_dialog_new(
      nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK,
      "%zu of the chosen names can't be opened: the player takes paths of up to %zu characters, "
      "in names that are valid UTF-8.",
      leftOut, mostChars - 1);
  gtk_window_set_title(GTK_WINDOW(box), "Open");
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  SettleEvents();
}

}  // namespace mivora::dialog
