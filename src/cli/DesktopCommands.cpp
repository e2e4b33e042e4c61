// install-desktop and uninstall-desktop: the desktop entry that lists the
// program among the applications and makes it the handler of its URL
// scheme, so a "mirelune://oauth-complete" coming back from the browser
// reaches the running program.
#include <glib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "base/Env.h"
#include "base/FileUtil.h"
#include "cli/Commands.h"

namespace mr::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEntryName = "mirelune.desktop";
constexpr const char* kScheme = "x-scheme-handler/mirelune";

// The applications folder and the default-applications list of the
// listener (XDG base directories).
fs::path dataHome() {
  const char* set = g_getenv("XDG_DATA_HOME");
  return set && *set ? fs::path(set) : fs::path(g_get_home_dir()) / ".local" / "share";
}
fs::path configHome() {
  const char* set = g_getenv("XDG_CONFIG_HOME");
  return set && *set ? fs::path(set) : fs::path(g_get_home_dir()) / ".config";
}

// A path in an Exec line: quoted, with the characters that desktop entries
// reserve inside quotes escaped.
std::string quoted(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

const char* kIcon = R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 64 64">
<defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">
<stop offset="0" stop-color="#7c5cff"/><stop offset="1" stop-color="#ff5fa2"/></linearGradient></defs>
<circle cx="32" cy="32" r="30" fill="url(#g)"/>
<path d="M40 14a18 18 0 1 0 10 30a15 15 0 1 1-10-30z" fill="#fff"/>
</svg>
)svg";

// Sets or clears the scheme's default handler in mimeapps.list, keeping
// every other line.
Status setDefaultHandler(bool install) {
  const fs::path list = configHome() / "mimeapps.list";
  GKeyFile* file = g_key_file_new();
  GError* error = nullptr;
  if (!g_key_file_load_from_file(file, list.c_str(),
                                 static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS |
                                                            G_KEY_FILE_KEEP_TRANSLATIONS),
                                 &error)) {
    const bool missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
    const std::string why = error->message;
    g_error_free(error);
    error = nullptr;
    if (!missing) {
      g_key_file_free(file);
      return Error(kMireluneErrorDomain, 1, list.string() + " cannot be read: " + why);
    }
    if (!install) {
      g_key_file_free(file);
      return Status();
    }
  }
  if (install) {
    g_key_file_set_string(file, "Default Applications", kScheme, kEntryName);
    g_key_file_set_string(file, "Added Associations", kScheme, kEntryName);
  } else {
    for (const char* group : {"Default Applications", "Added Associations"}) {
      gchar* value = g_key_file_get_string(file, group, kScheme, nullptr);
      if (value && std::string(value) == kEntryName) {
        g_key_file_remove_key(file, group, kScheme, nullptr);
      }
      g_free(value);
    }
  }
  gsize length = 0;
  gchar* text = g_key_file_to_data(file, &length, nullptr);
  g_key_file_free(file);
  std::error_code made;
  fs::create_directories(list.parent_path(), made);
  Status written = writeFileAtomically(list.string(), std::string(text, length), 0644);
  g_free(text);
  return written;
}

int installDesktop() {
  std::error_code ignored;
  const fs::path self = fs::read_symlink("/proc/self/exe", ignored);
  if (self.empty()) return fail("cannot tell where this program is installed");
  const fs::path applications = dataHome() / "applications";
  const fs::path icons = dataHome() / "icons" / "hicolor" / "scalable" / "apps";
  std::error_code made;
  fs::create_directories(applications, made);
  if (!made) fs::create_directories(icons, made);
  if (made) return fail("cannot make " + applications.string() + ": " + made.message());

  const std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Mirelune\n"
      "GenericName=Music Discovery\n"
      "Comment=New music from your own library, played as previews\n"
      "Exec=" + quoted(self.string()) + " %u\n"
      "Icon=mirelune\n"
      "Terminal=false\n"
      "Categories=AudioVideo;Audio;Player;\n"
      "MimeType=" + std::string(kScheme) + ";\n"
      "StartupNotify=true\n";
  if (Status written = writeFileAtomically((applications / kEntryName).string(), entry, 0644);
      !written.ok()) {
    return fail(written.error().description());
  }
  if (Status written = writeFileAtomically((icons / "mirelune.svg").string(), kIcon, 0644);
      !written.ok()) {
    return fail(written.error().description());
  }
  if (Status set = setDefaultHandler(true); !set.ok()) return fail(set.error().description());
  // Desktops read the cache of MIME types when it exists; refresh it when
  // the tool is there.
  if (gchar* tool = g_find_program_in_path("update-desktop-database")) {
    const std::string command = std::string(tool) + " -q " + quoted(applications.string());
    if (std::system(command.c_str()) != 0) {
      std::cerr << "mirelune: update-desktop-database did not succeed; the entry is in place\n";
    }
    g_free(tool);
  }
  std::cout << "installed " << (applications / kEntryName).string() << "\n"
            << "mirelune: URLs now open " << self.string() << "\n";
  return 0;
}

int uninstallDesktop() {
  const fs::path applications = dataHome() / "applications";
  std::error_code ignored;
  const bool had = fs::remove(applications / kEntryName, ignored);
  fs::remove(dataHome() / "icons" / "hicolor" / "scalable" / "apps" / "mirelune.svg", ignored);
  if (Status cleared = setDefaultHandler(false); !cleared.ok()) {
    return fail(cleared.error().description());
  }
  std::cout << (had ? "removed " : "nothing to remove: ") << (applications / kEntryName).string()
            << "\n";
  return 0;
}

}  // namespace

void addDesktopCommands(CLI::App& app, Action& action) {
  app.add_subcommand("install-desktop",
                     "List Mirelune among the desktop's applications and let it open mirelune: "
                     "URLs")
      ->callback([&action] { action = [] { return installDesktop(); }; });
  app.add_subcommand("uninstall-desktop", "Remove what install-desktop added")
      ->callback([&action] { action = [] { return uninstallDesktop(); }; });
}

}  // namespace mr::cli
