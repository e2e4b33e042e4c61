#include "ui/MRDesktopWindow.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <string_view>

#include "base/Log.h"

namespace mr {

struct MRDesktopWindow::Impl {
  std::string origin;
  Callbacks callbacks;
  GtkWidget* window = nullptr;
  WebKitWebView* view = nullptr;

  bool isOurs(std::string_view uri) const {
    if (uri == "about:blank" || uri == "about:srcdoc") return true;
    return uri == origin || (uri.size() > origin.size() && uri.compare(0, origin.size(), origin) == 0 &&
                             uri[origin.size()] == '/');
  }

  // Top-level and frame navigations alike: ours load, links leave.
  static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                               WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      return FALSE;
    }
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const std::string_view target = uri ? uri : "";
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && self->isOurs(target)) {
      webkit_policy_decision_use(decision);
      return TRUE;
    }
    webkit_policy_decision_ignore(decision);
    const bool external = target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0 ||
                          target.rfind("mailto:", 0) == 0;
    if (external && !self->isOurs(target) && self->callbacks.openExternal) {
      self->callbacks.openExternal(std::string(target));
    }
    return TRUE;
  }

  static void destroyed(GtkWidget*, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    self->window = nullptr;
    self->view = nullptr;
    if (self->callbacks.closed) self->callbacks.closed();
  }
};

bool MRDesktopWindow::displayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

Status MRDesktopWindow::initialize() {
  if (!gtk_init_check(nullptr, nullptr)) {
    return Error(kMireluneErrorDomain, 1, "the display could not be opened");
  }
  return Status();
}

MRDesktopWindow::MRDesktopWindow(std::string origin, Callbacks callbacks)
    : impl_(std::make_unique<Impl>()) {
  impl_->origin = std::move(origin);
  impl_->callbacks = std::move(callbacks);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Mirelune");
  gtk_window_set_default_size(GTK_WINDOW(window), kDefaultWidth, kDefaultHeight);
  GdkGeometry minimum{};
  minimum.min_width = kMinimumWidth;
  minimum.min_height = kMinimumHeight;
  gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &minimum, GDK_HINT_MIN_SIZE);

  WebKitWebView* view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  WebKitSettings* settings = webkit_web_view_get_settings(view);
  webkit_settings_set_enable_developer_extras(settings,
                                              std::getenv("MIRELUNE_WEB_INSPECTOR") != nullptr);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  g_signal_connect(view, "decide-policy", G_CALLBACK(&Impl::decidePolicy), impl_.get());
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  g_signal_connect(window, "destroy", G_CALLBACK(&Impl::destroyed), impl_.get());
  impl_->window = window;
  impl_->view = view;
}

MRDesktopWindow::~MRDesktopWindow() {
  if (impl_->window) {
    // Going away on our own is no close by the listener.
    g_signal_handlers_disconnect_by_data(impl_->window, impl_.get());
    gtk_widget_destroy(impl_->window);
  }
}

void MRDesktopWindow::open(const std::string& address) {
  if (!impl_->view) return;
  webkit_web_view_load_uri(impl_->view, address.c_str());
  gtk_widget_show_all(impl_->window);
}

void MRDesktopWindow::present() {
  if (impl_->window) gtk_window_present(GTK_WINDOW(impl_->window));
}

}  // namespace mr
