#include "ui/OpenInBrowser.h"

#include <gio/gio.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace mr {

Status openInBrowser(const std::string& url) {
  if (const char* log = std::getenv("MIRELUNE_OPEN_URL_LOG"); log && *log) {
    std::FILE* file = std::fopen(log, "a");
    if (!file) return posixError(errno, std::string("cannot open ") + log);
    const bool written = std::fprintf(file, "%s\n", url.c_str()) >= 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) return posixError(errno, std::string("cannot write ") + log);
    return Status();
  }
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error)) {
    Error failed(kMireluneErrorDomain, 1,
                 "the browser could not be opened: " + std::string(error ? error->message : ""));
    g_clear_error(&error);
    return failed;
  }
  return Status();
}

}  // namespace mr
