#include "ui/ICanvasGtk.h"

#include <epoxy/gl.h>
#include <gtk/gtk.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace reef::ui {

namespace {

constexpr int kRequiredGlVersion = 32; // OpenGL 3.2 core: NanoVG's GL3 renderer
constexpr int kTooltipMaxWidth = 250;  // pixels
constexpr const char* kMenuItemIndex = "coral-menu-index";

// Buttons the canvas knows: GDK numbers them 1 (left), 2 (middle), 3 (right).
constexpr guint kLeftButton = 1;
constexpr guint kRightButton = 3;

IMouseMod MouseMod(guint state, guint button) {
  IMouseMod mod;
  mod.left = button == kLeftButton || (state & GDK_BUTTON1_MASK);
  mod.right = button == kRightButton || (state & GDK_BUTTON3_MASK);
  mod.shift = state & GDK_SHIFT_MASK;
  mod.ctrl = state & GDK_CONTROL_MASK;
  mod.alt = state & GDK_MOD1_MASK;
  return mod;
}

// The virtual-key code of a key, from its keyval without modifiers (Shift+1 is still '1').
int VirtualKey(guint keyval) {
  switch (keyval) {
  case GDK_KEY_BackSpace:
    return kVKBackspace;
  case GDK_KEY_Tab:
  case GDK_KEY_ISO_Left_Tab:
  case GDK_KEY_KP_Tab:
    return kVKTab;
  case GDK_KEY_Return:
  case GDK_KEY_ISO_Enter:
  case GDK_KEY_KP_Enter:
    return kVKReturn;
  case GDK_KEY_Shift_L:
  case GDK_KEY_Shift_R:
    return kVKShift;
  case GDK_KEY_Control_L:
  case GDK_KEY_Control_R:
    return kVKControl;
  case GDK_KEY_Alt_L:
  case GDK_KEY_Alt_R:
    return kVKAlt;
  case GDK_KEY_Escape:
    return kVKEscape;
  case GDK_KEY_space:
  case GDK_KEY_KP_Space:
    return kVKSpace;
  case GDK_KEY_Page_Up:
  case GDK_KEY_KP_Page_Up:
    return kVKPageUp;
  case GDK_KEY_Page_Down:
  case GDK_KEY_KP_Page_Down:
    return kVKPageDown;
  case GDK_KEY_End:
  case GDK_KEY_KP_End:
    return kVKEnd;
  case GDK_KEY_Home:
  case GDK_KEY_KP_Home:
    return kVKHome;
  case GDK_KEY_Left:
  case GDK_KEY_KP_Left:
    return kVKLeft;
  case GDK_KEY_Up:
  case GDK_KEY_KP_Up:
    return kVKUp;
  case GDK_KEY_Right:
  case GDK_KEY_KP_Right:
    return kVKRight;
  case GDK_KEY_Down:
  case GDK_KEY_KP_Down:
    return kVKDown;
  case GDK_KEY_Delete:
  case GDK_KEY_KP_Delete:
    return kVKDelete;
  case GDK_KEY_comma:
    return kVKComma;
  default:
    break;
  }
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return static_cast<int>(keyval - 'a' + 'A');
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return static_cast<int>(keyval);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return static_cast<int>(keyval);
  return kVKNone;
}

IKeyPress KeyPress(const GdkEventKey& event) {
  guint baseKeyval = event.keyval;
  gdk_keymap_translate_keyboard_state(
      gdk_keymap_get_for_display(gdk_window_get_display(event.window)), event.hardware_keycode,
      GdkModifierType(0), event.group, &baseKeyval, nullptr, nullptr, nullptr);
  IKeyPress key;
  key.vk = VirtualKey(baseKeyval);
  key.shift = event.state & GDK_SHIFT_MASK;
  key.ctrl = event.state & GDK_CONTROL_MASK;
  key.alt = event.state & GDK_MOD1_MASK;
  // The typed character; with Ctrl or Alt held a key types nothing.
  const gunichar character = gdk_keyval_to_unicode(event.keyval);
  if (character >= 0x20 && character != 0x7f && !key.ctrl && !key.alt) {
    char utf8[8] = {};
    key.utf8.assign(utf8, g_unichar_to_utf8(character, utf8));
  }
  return key;
}

// A URI for OpenURL's forms of address.
std::string ToUri(const std::string& url) {
  if (gchar* scheme = g_uri_parse_scheme(url.c_str())) {
    g_free(scheme);
    return url;
  }
  if (g_path_is_absolute(url.c_str())) {
    gchar* uri = g_filename_to_uri(url.c_str(), nullptr, nullptr);
    std::string result = uri ? uri : url;
    g_free(uri);
    return result;
  }
  if (url.find('@') != std::string::npos) return "mailto:" + url;
  return "https://" + url;
}

} // namespace

struct ICanvasGtk::Impl {
  explicit Impl(ICanvasGtk& owner) : canvas(owner) {}

  ICanvasGtk& canvas;
  GtkWidget* area = nullptr;        // the GtkGLArea; owned by its parent
  GdkWindow* eventWindow = nullptr; // the area's input window, where its cursor is set
  guint tickId = 0;
  gint64 lastCycleTime = 0;   // frame-clock time of the last frame cycle, microseconds
  IRectList pendingArea;      // dirty area waiting for the next render
  bool drawable = false;      // the GL context and NanoVG are ready
  std::uint64_t cycles = 0;   // frame cycles run since the editor opened
  std::uint64_t rendered = 0; // frames rendered with the canvas drawn

  // Pointer state. Positions are in canvas pixels, root positions in screen coordinates.
  bool captured = false; // a press went to the canvas and its release has not come
  float lastX = 0.f;
  float lastY = 0.f;
  guint32 lastPressTime = 0;
  guint lastPressButton = 0;
  double lastPressRootX = 0.0;
  double lastPressRootY = 0.0;
  bool lastPressWasDouble = false;

  bool cursorHidden = false;
  bool cursorLocked = false;
  double hiddenRootX = 0.0;
  double hiddenRootY = 0.0;
  double lastRootX = 0.0;
  double lastRootY = 0.0;
  bool warpPending = false;

  GtkWidget* menu = nullptr;
  int menuChoice = -1;
  guint menuCloseSource = 0;
  GtkWidget* tooltipLabel = nullptr;

  // --- Set-up and teardown.

  void Open(GtkContainer* parent);
  void Close();
  void ReportGlFailure(const std::string& reason);
  void FindEventWindow();
  void ApplySizeRequest();
  GdkDevice* Pointer() const {
    return gdk_seat_get_pointer(gdk_display_get_default_seat(gtk_widget_get_display(area)));
  }
  float Scale() const { return canvas.GetDrawScale(); }
  void CloseMenu();
  void DeliverMenuChoice();
  // The editor goes away with a menu open or just closed: the canvas learns how it ended
  // (dismissed, when it was still open).
  void DismissMenu();

  // --- Signal handlers; `data` is the Impl.

  static void OnRealize(GtkWidget* widget, gpointer data);
  static void OnUnrealize(GtkWidget* widget, gpointer data);
  static void OnDestroy(GtkWidget* widget, gpointer data);
  static void OnSizeAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer data);
  static void OnScaleFactor(GObject* object, GParamSpec* property, gpointer data);
  static gboolean OnTick(GtkWidget* widget, GdkFrameClock* clock, gpointer data);
  static gboolean OnRender(GtkGLArea* area, GdkGLContext* context, gpointer data);
  static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer data);
  static gboolean OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer data);
  static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data);
  static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer data);
  static gboolean OnEnter(GtkWidget* widget, GdkEventCrossing* event, gpointer data);
  static gboolean OnLeave(GtkWidget* widget, GdkEventCrossing* event, gpointer data);
  static gboolean OnGrabBroken(GtkWidget* widget, GdkEvent* event, gpointer data);
  static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer data);
  static gboolean OnQueryTooltip(GtkWidget* widget, gint x, gint y, gboolean keyboard,
                                 GtkTooltip* tooltip, gpointer data);
  static void OnDragDataReceived(GtkWidget* widget, GdkDragContext* context, gint x, gint y,
                                 GtkSelectionData* selection, guint info, guint time,
                                 gpointer data);
  static void OnMenuItemActivate(GtkMenuItem* item, gpointer data);
  static void OnMenuDeactivate(GtkMenuShell* shell, gpointer data);
  static gboolean OnMenuClosed(gpointer data);
};

void ICanvasGtk::Impl::Open(GtkContainer* parent) {
  cycles = rendered = 0;
  area = gtk_gl_area_new();
  GtkGLArea* glArea = GTK_GL_AREA(area);
  gtk_gl_area_set_required_version(glArea, kRequiredGlVersion / 10, kRequiredGlVersion % 10);
  gtk_gl_area_set_has_stencil_buffer(glArea, TRUE);
  gtk_gl_area_set_has_depth_buffer(glArea, FALSE);
  // The canvas decides when to render; GTK only recomposites the last frame on exposure.
  gtk_gl_area_set_auto_render(glArea, FALSE);
  gtk_widget_set_can_focus(area, TRUE);
  gtk_widget_set_has_tooltip(area, TRUE);
  gtk_widget_add_events(area,
                        GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                            GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_ENTER_NOTIFY_MASK |
                            GDK_LEAVE_NOTIFY_MASK | GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK);
  static GtkTargetEntry uriList{const_cast<gchar*>("text/uri-list"), 0, 0};
  gtk_drag_dest_set(area, GTK_DEST_DEFAULT_ALL, &uriList, 1, GDK_ACTION_COPY);
  ApplySizeRequest();

  g_signal_connect_after(area, "realize", G_CALLBACK(OnRealize), this);
  g_signal_connect(area, "unrealize", G_CALLBACK(OnUnrealize), this);
  g_signal_connect(area, "destroy", G_CALLBACK(OnDestroy), this);
  g_signal_connect_after(area, "size-allocate", G_CALLBACK(OnSizeAllocate), this);
  g_signal_connect(area, "notify::scale-factor", G_CALLBACK(OnScaleFactor), this);
  g_signal_connect(area, "render", G_CALLBACK(OnRender), this);
  g_signal_connect(area, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(area, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(area, "motion-notify-event", G_CALLBACK(OnMotion), this);
  g_signal_connect(area, "scroll-event", G_CALLBACK(OnScroll), this);
  g_signal_connect(area, "enter-notify-event", G_CALLBACK(OnEnter), this);
  g_signal_connect(area, "leave-notify-event", G_CALLBACK(OnLeave), this);
  g_signal_connect(area, "grab-broken-event", G_CALLBACK(OnGrabBroken), this);
  g_signal_connect(area, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect(area, "key-release-event", G_CALLBACK(OnKey), this);
  g_signal_connect(area, "query-tooltip", G_CALLBACK(OnQueryTooltip), this);
  g_signal_connect(area, "drag-data-received", G_CALLBACK(OnDragDataReceived), this);

  tooltipLabel = gtk_label_new(nullptr);
  g_object_ref_sink(tooltipLabel);
  gtk_label_set_line_wrap(GTK_LABEL(tooltipLabel), TRUE);
  gtk_label_set_xalign(GTK_LABEL(tooltipLabel), 0.f);

  if (GTK_IS_BOX(parent)) {
    gtk_box_pack_start(GTK_BOX(parent), area, FALSE, FALSE, 0);
  } else {
    gtk_container_add(parent, area);
  }
  tickId = gtk_widget_add_tick_callback(area, OnTick, this, nullptr);
  gtk_widget_show(area);
}

void ICanvasGtk::Impl::Close() {
  if (!area) return;
  GtkWidget* closing = area;
  DismissMenu();
  if (tickId) gtk_widget_remove_tick_callback(closing, tickId);
  tickId = 0;
  if (cursorHidden && eventWindow) gdk_window_set_cursor(eventWindow, nullptr);
  cursorHidden = cursorLocked = false;
  if (gtk_widget_get_realized(closing)) OnUnrealize(closing, this);
  g_signal_handlers_disconnect_by_data(closing, this);
  area = nullptr;
  eventWindow = nullptr;
  captured = false;
  pendingArea.Clear();
  gtk_widget_destroy(closing);
  if (tooltipLabel) g_object_unref(tooltipLabel);
  tooltipLabel = nullptr;
}

void ICanvasGtk::Impl::ApplySizeRequest() {
  gtk_widget_set_size_request(area, static_cast<int>(std::lround(canvas.Width() * Scale())),
                              static_cast<int>(std::lround(canvas.Height() * Scale())));
}

void ICanvasGtk::Impl::ReportGlFailure(const std::string& reason) {
  const std::string message = "The editor cannot be drawn: it needs OpenGL " +
                              std::to_string(kRequiredGlVersion / 10) + "." +
                              std::to_string(kRequiredGlVersion % 10) + " or newer.\n" + reason;
  std::fprintf(stderr, "Editor: %s\n", message.c_str());
  GtkWidget* toplevel = gtk_widget_get_toplevel(area);
  GtkWidget* dialog =
      gtk_message_dialog_new(GTK_IS_WINDOW(toplevel) ? GTK_WINDOW(toplevel) : nullptr,
                             GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                             GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", message.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "Error");
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
}

void ICanvasGtk::Impl::FindEventWindow() {
  // A GtkGLArea receives input through a child window of its parent's window whose user
  // data is the area; the cursor is set there.
  eventWindow = nullptr;
  GList* children = gdk_window_peek_children(gtk_widget_get_window(area));
  for (GList* child = children; child; child = child->next) {
    gpointer owner = nullptr;
    gdk_window_get_user_data(GDK_WINDOW(child->data), &owner);
    if (owner == area) eventWindow = GDK_WINDOW(child->data);
  }
  if (!eventWindow) eventWindow = gtk_widget_get_window(area);
}

void ICanvasGtk::Impl::OnRealize(GtkWidget* widget, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  self->FindEventWindow();
  self->canvas.SetScreenScale(static_cast<float>(gtk_widget_get_scale_factor(widget)));
  GtkGLArea* glArea = GTK_GL_AREA(widget);
  gtk_gl_area_make_current(glArea);
  if (GError* error = gtk_gl_area_get_error(glArea)) {
    self->ReportGlFailure(error->message);
    return;
  }
  if (!epoxy_is_desktop_gl() || epoxy_gl_version() < kRequiredGlVersion) {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    self->ReportGlFailure(std::string("This display offers OpenGL ") +
                          (version ? version : "of unknown version") + ".");
    return;
  }
  std::string reason;
  if (!self->canvas.CreateDrawingContext(reason)) {
    self->ReportGlFailure(reason);
    return;
  }
  self->drawable = true;
  gtk_widget_grab_focus(widget);
  gtk_gl_area_queue_render(glArea);
}

void ICanvasGtk::Impl::OnUnrealize(GtkWidget* widget, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  if (!self->drawable) return;
  GtkGLArea* glArea = GTK_GL_AREA(widget);
  gtk_gl_area_make_current(glArea);
  if (!gtk_gl_area_get_error(glArea)) self->canvas.DestroyDrawingContext();
  self->drawable = false;
}

void ICanvasGtk::Impl::OnDestroy(GtkWidget*, gpointer data) {
  // The parent went away with the editor still open: forget the widget; its tick callback
  // and signal handlers go with it.
  auto* self = static_cast<Impl*>(data);
  self->DismissMenu();
  self->tickId = 0;
  self->area = nullptr;
  self->eventWindow = nullptr;
  self->captured = false;
  if (self->tooltipLabel) g_object_unref(self->tooltipLabel);
  self->tooltipLabel = nullptr;
}

void ICanvasGtk::Impl::OnSizeAllocate(GtkWidget* widget, GdkRectangle*, gpointer) {
  // New buffers of the area hold nothing yet: present the canvas again.
  gtk_gl_area_queue_render(GTK_GL_AREA(widget));
}

void ICanvasGtk::Impl::OnScaleFactor(GObject* object, GParamSpec*, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  self->canvas.SetScreenScale(static_cast<float>(gtk_widget_get_scale_factor(GTK_WIDGET(object))));
}

gboolean ICanvasGtk::Impl::OnTick(GtkWidget* widget, GdkFrameClock* clock, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  if (!self->drawable) return G_SOURCE_CONTINUE;
  // The clock ticks at the display's rate; the cycle runs at most at the canvas frame rate.
  // A tenth of a frame of slack keeps a 30-per-second cycle on every second tick of a
  // 60 Hz clock despite jitter.
  const gint64 now = gdk_frame_clock_get_frame_time(clock);
  const double interval = 1e6 / std::max(1, self->canvas.FrameRate());
  if (self->lastCycleTime != 0 && now - self->lastCycleTime < 0.9 * interval) {
    return G_SOURCE_CONTINUE;
  }
  self->lastCycleTime = now;
  ++self->cycles;
  IRectList dirty;
  const bool isDirty = self->canvas.IsDirty(dirty);
  for (const IRect& rect : dirty) self->pendingArea.Add(rect);
  if (isDirty || self->canvas.NeedsFullRedraw()) gtk_gl_area_queue_render(GTK_GL_AREA(widget));
  return G_SOURCE_CONTINUE;
}

gboolean ICanvasGtk::Impl::OnRender(GtkGLArea* glArea, GdkGLContext*, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  GLint target = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &target);
  const int scale = gtk_widget_get_scale_factor(GTK_WIDGET(glArea));
  const int width = gtk_widget_get_allocated_width(GTK_WIDGET(glArea)) * scale;
  const int height = gtk_widget_get_allocated_height(GTK_WIDGET(glArea)) * scale;
  if (self->drawable) {
    if (self->canvas.NeedsFullRedraw()) {
      self->canvas.DrawAll();
    } else if (!self->pendingArea.Empty()) {
      self->canvas.Draw(self->pendingArea);
    }
    self->pendingArea.Clear();
    ++self->rendered;
  }
  self->canvas.PresentTo(static_cast<unsigned>(target), width, height);
  return TRUE;
}

gboolean ICanvasGtk::Impl::OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  // GDK adds its own 2- and 3-button events after a second and third press; the presses
  // themselves are judged below.
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  if (event->button != kLeftButton && event->button != kRightButton) return FALSE;
  gtk_widget_grab_focus(widget);

  gint doubleClickTime = 400;
  gint doubleClickDistance = 5;
  g_object_get(gtk_widget_get_settings(widget), "gtk-double-click-time", &doubleClickTime,
               "gtk-double-click-distance", &doubleClickDistance, nullptr);
  const bool isDouble =
      !self->lastPressWasDouble && self->lastPressButton == event->button &&
      event->time - self->lastPressTime <= static_cast<guint32>(doubleClickTime) &&
      std::abs(event->x_root - self->lastPressRootX) <= doubleClickDistance &&
      std::abs(event->y_root - self->lastPressRootY) <= doubleClickDistance;
  self->lastPressButton = event->button;
  self->lastPressTime = event->time;
  self->lastPressRootX = event->x_root;
  self->lastPressRootY = event->y_root;
  self->lastPressWasDouble = isDouble;

  const float x = static_cast<float>(event->x) / self->Scale();
  const float y = static_cast<float>(event->y) / self->Scale();
  self->lastX = x;
  self->lastY = y;
  self->lastRootX = event->x_root;
  self->lastRootY = event->y_root;
  const IMouseMod mod = MouseMod(event->state, event->button);
  if (isDouble) {
    self->canvas.OnMouseDblClick(x, y, mod);
  } else {
    self->captured = true;
    self->canvas.OnMouseDown(x, y, mod);
  }
  return TRUE;
}

gboolean ICanvasGtk::Impl::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  if (event->button != kLeftButton && event->button != kRightButton) return FALSE;
  self->captured = false;
  self->canvas.OnMouseUp(static_cast<float>(event->x) / self->Scale(),
                         static_cast<float>(event->y) / self->Scale(),
                         MouseMod(event->state, event->button));
  return TRUE;
}

gboolean ICanvasGtk::Impl::OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  const float x = static_cast<float>(event->x) / self->Scale();
  const float y = static_cast<float>(event->y) / self->Scale();
  const IMouseMod mod = MouseMod(event->state, 0);
  if (!self->captured) {
    // A button still held after a double click is no drag.
    if (!mod.left && !mod.right) self->canvas.OnMouseOver(x, y, mod);
    self->lastX = x;
    self->lastY = y;
    return TRUE;
  }
  if (self->cursorLocked) {
    // The pointer is warped back after every move; the warp's own motion only marks where
    // the pointer now is. Deltas are taken between root positions, so motion reported
    // before a warp took effect is not counted twice.
    const bool atLock = std::abs(event->x_root - self->hiddenRootX) < 0.5 &&
                        std::abs(event->y_root - self->hiddenRootY) < 0.5;
    if (self->warpPending && atLock) {
      self->warpPending = false;
      self->lastRootX = event->x_root;
      self->lastRootY = event->y_root;
      return TRUE;
    }
    const float dX = static_cast<float>(event->x_root - self->lastRootX) / self->Scale();
    const float dY = static_cast<float>(event->y_root - self->lastRootY) / self->Scale();
    self->lastRootX = event->x_root;
    self->lastRootY = event->y_root;
    if (!atLock) {
      gdk_device_warp(self->Pointer(), gdk_window_get_screen(event->window),
                      static_cast<int>(std::lround(self->hiddenRootX)),
                      static_cast<int>(std::lround(self->hiddenRootY)));
      self->warpPending = true;
    }
    if (dX != 0.f || dY != 0.f) self->canvas.OnMouseDrag(x, y, dX, dY, mod);
    return TRUE;
  }
  const float dX = x - self->lastX;
  const float dY = y - self->lastY;
  self->lastX = x;
  self->lastY = y;
  self->lastRootX = event->x_root;
  self->lastRootY = event->y_root;
  self->canvas.OnMouseDrag(x, y, dX, dY, mod);
  return TRUE;
}

gboolean ICanvasGtk::Impl::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  // Wheel units, positive away from the user (up).
  float delta = 0.f;
  switch (event->direction) {
  case GDK_SCROLL_UP:
    delta = 1.f;
    break;
  case GDK_SCROLL_DOWN:
    delta = -1.f;
    break;
  case GDK_SCROLL_SMOOTH:
    delta = static_cast<float>(-event->delta_y);
    break;
  default:
    break;
  }
  if (delta == 0.f) return FALSE;
  self->canvas.OnMouseWheel(static_cast<float>(event->x) / self->Scale(),
                            static_cast<float>(event->y) / self->Scale(), MouseMod(event->state, 0),
                            delta);
  return TRUE;
}

gboolean ICanvasGtk::Impl::OnEnter(GtkWidget*, GdkEventCrossing* event, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  const IMouseMod mod = MouseMod(event->state, 0);
  if (self->captured || mod.left || mod.right) return FALSE;
  self->lastX = static_cast<float>(event->x) / self->Scale();
  self->lastY = static_cast<float>(event->y) / self->Scale();
  self->canvas.OnMouseOver(self->lastX, self->lastY, mod);
  return FALSE;
}

gboolean ICanvasGtk::Impl::OnLeave(GtkWidget*, GdkEventCrossing*, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  // While captured the pointer still belongs to the editor; the release outside is followed
  // by another leave.
  if (!self->captured) self->canvas.OnMouseOut();
  return FALSE;
}

gboolean ICanvasGtk::Impl::OnGrabBroken(GtkWidget*, GdkEvent*, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  if (self->captured) {
    self->captured = false;
    self->canvas.OnGestureCancelled();
  }
  // No release will come to show a pointer hidden for the drag.
  self->canvas.HideMouseCursor(false, false);
  return FALSE;
}

gboolean ICanvasGtk::Impl::OnKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  gdouble x = 0.0;
  gdouble y = 0.0;
  gdk_window_get_device_position_double(self->eventWindow, self->Pointer(), &x, &y, nullptr);
  const IKeyPress key = KeyPress(*event);
  const float canvasX = static_cast<float>(x) / self->Scale();
  const float canvasY = static_cast<float>(y) / self->Scale();
  // FALSE lets the event travel on to the window.
  return event->type == GDK_KEY_PRESS ? self->canvas.OnKeyDown(canvasX, canvasY, key)
                                      : self->canvas.OnKeyUp(canvasX, canvasY, key);
}

gboolean ICanvasGtk::Impl::OnQueryTooltip(GtkWidget*, gint x, gint y, gboolean, GtkTooltip* tooltip,
                                          gpointer data) {
  auto* self = static_cast<Impl*>(data);
  const std::string text = self->canvas.GetTooltipAt(static_cast<float>(x) / self->Scale(),
                                                     static_cast<float>(y) / self->Scale());
  if (text.empty() || !self->tooltipLabel) return FALSE;
  // Text wider than the limit wraps at the limit: the label's width is fixed there (its
  // natural width, capped by a tiny character limit, stays below it); shorter text keeps its
  // own width.
  PangoLayout* layout = gtk_widget_create_pango_layout(self->tooltipLabel, text.c_str());
  int textWidth = 0;
  pango_layout_get_pixel_size(layout, &textWidth, nullptr);
  g_object_unref(layout);
  const bool wraps = textWidth > kTooltipMaxWidth;
  gtk_widget_set_size_request(self->tooltipLabel, wraps ? kTooltipMaxWidth : -1, -1);
  gtk_label_set_max_width_chars(GTK_LABEL(self->tooltipLabel), wraps ? 1 : -1);
  gtk_label_set_text(GTK_LABEL(self->tooltipLabel), text.c_str());
  gtk_tooltip_set_custom(tooltip, self->tooltipLabel);
  return TRUE;
}

void ICanvasGtk::Impl::OnDragDataReceived(GtkWidget*, GdkDragContext*, gint x, gint y,
                                          GtkSelectionData* selection, guint, guint,
                                          gpointer data) {
  auto* self = static_cast<Impl*>(data);
  gchar** uris = gtk_selection_data_get_uris(selection);
  std::vector<std::string> paths;
  for (gchar** uri = uris; uri && *uri; ++uri) {
    if (gchar* path = g_filename_from_uri(*uri, nullptr, nullptr)) {
      paths.emplace_back(path);
      g_free(path);
    }
  }
  g_strfreev(uris);
  if (!paths.empty()) {
    self->canvas.OnDrop(paths, static_cast<float>(x) / self->Scale(),
                        static_cast<float>(y) / self->Scale());
  }
}

void ICanvasGtk::Impl::CloseMenu() {
  if (!menu) return;
  g_signal_handlers_disconnect_by_data(menu, this);
  gtk_widget_destroy(menu);
  menu = nullptr;
}

void ICanvasGtk::Impl::OnMenuItemActivate(GtkMenuItem* item, gpointer data) {
  static_cast<Impl*>(data)->menuChoice =
      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kMenuItemIndex));
}

void ICanvasGtk::Impl::OnMenuDeactivate(GtkMenuShell*, gpointer data) {
  // GTK deactivates the menu before it activates the chosen item: the choice is known once
  // the current event has been handled.
  auto* self = static_cast<Impl*>(data);
  if (!self->menuCloseSource) self->menuCloseSource = g_idle_add(OnMenuClosed, self);
}

gboolean ICanvasGtk::Impl::OnMenuClosed(gpointer data) {
  auto* self = static_cast<Impl*>(data);
  self->menuCloseSource = 0;
  self->CloseMenu();
  self->DeliverMenuChoice();
  return G_SOURCE_REMOVE;
}

void ICanvasGtk::Impl::DismissMenu() {
  if (!menu && !menuCloseSource) return;
  // A menu that already closed keeps the item chosen in it.
  if (!menuCloseSource) menuChoice = -1;
  CloseMenu();
  if (menuCloseSource) g_source_remove(menuCloseSource);
  menuCloseSource = 0;
  DeliverMenuChoice();
}

void ICanvasGtk::Impl::DeliverMenuChoice() {
  const int chosen = menuChoice;
  menuChoice = -1;
  canvas.OnPopupMenuClosed(chosen);
}

ICanvasGtk::ICanvasGtk(IEditorDelegate& delegate, int width, int height, int fps, float scale)
    : ICanvasNanoVG(delegate, width, height, fps, scale), impl_(std::make_unique<Impl>(*this)) {}

ICanvasGtk::~ICanvasGtk() {
  impl_->Close();
}

bool ICanvasGtk::OpenWindow(void* parent) {
  if (impl_->area) return true;
  if (!parent || !GTK_IS_CONTAINER(parent)) return false;
  impl_->Open(GTK_CONTAINER(parent));
  return true;
}

void ICanvasGtk::CloseWindow() {
  impl_->Close();
}

void* ICanvasGtk::GetWidget() const {
  return impl_->area;
}

std::uint64_t ICanvasGtk::FrameCycles() const {
  return impl_->cycles;
}

std::uint64_t ICanvasGtk::FramesRendered() const {
  return impl_->rendered;
}

void ICanvasGtk::HideMouseCursor(bool hide, bool lock) {
  Impl& impl = *impl_;
  if (!impl.area || !impl.eventWindow) return;
  GdkDevice* pointer = impl.Pointer();
  if (hide) {
    if (!impl.cursorHidden) {
      if (impl.captured) {
        // Hidden by a press: held where the press was. The pointer may have moved on already
        // with motion still queued, which the drag would otherwise miss.
        impl.hiddenRootX = impl.lastRootX;
        impl.hiddenRootY = impl.lastRootY;
      } else {
        gdk_device_get_position_double(pointer, nullptr, &impl.hiddenRootX, &impl.hiddenRootY);
      }
      GdkCursor* blank =
          gdk_cursor_new_for_display(gtk_widget_get_display(impl.area), GDK_BLANK_CURSOR);
      gdk_window_set_cursor(impl.eventWindow, blank);
      g_object_unref(blank);
      impl.lastRootX = impl.hiddenRootX;
      impl.lastRootY = impl.hiddenRootY;
      impl.warpPending = false;
    }
    impl.cursorHidden = true;
    impl.cursorLocked = lock;
    return;
  }
  if (!impl.cursorHidden) return;
  gdk_window_set_cursor(impl.eventWindow, nullptr);
  gdk_device_warp(pointer, gtk_widget_get_screen(impl.area),
                  static_cast<int>(std::lround(impl.hiddenRootX)),
                  static_cast<int>(std::lround(impl.hiddenRootY)));
  impl.cursorHidden = impl.cursorLocked = impl.warpPending = false;
}

void ICanvasGtk::MoveMouseCursor(float x, float y) {
  Impl& impl = *impl_;
  if (!impl.area || !impl.eventWindow) return;
  gint originX = 0;
  gint originY = 0;
  gdk_window_get_origin(impl.eventWindow, &originX, &originY);
  const double rootX = originX + x * impl.Scale();
  const double rootY = originY + y * impl.Scale();
  if (impl.cursorHidden) {
    impl.hiddenRootX = rootX;
    impl.hiddenRootY = rootY;
    impl.warpPending = impl.cursorLocked;
  }
  gdk_device_warp(impl.Pointer(), gtk_widget_get_screen(impl.area),
                  static_cast<int>(std::lround(rootX)), static_cast<int>(std::lround(rootY)));
}

bool ICanvasGtk::OpenURL(const std::string& url) {
  if (url.empty()) return false;
  GtkWidget* toplevel = impl_->area ? gtk_widget_get_toplevel(impl_->area) : nullptr;
  GError* error = nullptr;
  const bool opened =
      gtk_show_uri_on_window(GTK_IS_WINDOW(toplevel) ? GTK_WINDOW(toplevel) : nullptr,
                             ToUri(url).c_str(), GDK_CURRENT_TIME, &error);
  if (error) g_error_free(error);
  return opened;
}

void ICanvasGtk::SetClipboardText(const std::string& text) {
  gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.data(),
                         static_cast<gint>(text.size()));
}

std::string ICanvasGtk::GetClipboardText() {
  gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

bool ICanvasGtk::SaveScreenshot(const std::string& path) {
  Impl& impl = *impl_;
  if (!impl.area || !impl.drawable) return false;
  gtk_gl_area_make_current(GTK_GL_AREA(impl.area));
  if (gtk_gl_area_get_error(GTK_GL_AREA(impl.area))) return false;
  DrawAll();
  // The refreshed buffer reaches the window at the next render.
  gtk_gl_area_queue_render(GTK_GL_AREA(impl.area));
  std::vector<unsigned char> rgba;
  int width = 0;
  int height = 0;
  if (!ReadPixels(rgba, width, height)) return false;
  std::string png;
  const auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
  };
  if (!stbi_write_png_to_func(append, &png, width, height, 4, rgba.data(), width * 4)) {
    return false;
  }
  // GLib writes a temporary file beside `path` and renames it into place.
  GError* error = nullptr;
  const bool written =
      g_file_set_contents(path.c_str(), png.data(), static_cast<gssize>(png.size()), &error);
  if (error) g_error_free(error);
  return written;
}

void ICanvasGtk::ShowPopupMenu(IPopupMenu& menu, const IRect& bounds) {
  Impl& impl = *impl_;
  // A new menu replaces one still open or closing; the canvas has moved on from it.
  impl.CloseMenu();
  if (impl.menuCloseSource) g_source_remove(impl.menuCloseSource);
  impl.menuCloseSource = 0;
  impl.menuChoice = -1;
  // The menu takes the pointer: the next press in the editor starts a new click.
  impl.lastPressButton = 0;
  if (!impl.area || !gtk_widget_get_realized(impl.area)) {
    // Nowhere to show it: it closes at once, dismissed.
    if (!impl.menuCloseSource) impl.menuCloseSource = g_idle_add(Impl::OnMenuClosed, &impl);
    return;
  }
  impl.menu = gtk_menu_new();
  for (int i = 0; i < menu.NItems(); ++i) {
    const std::string text = menu.GetDisplayText(i);
    GtkWidget* item = i == menu.GetCheckedItemIdx()
                          ? gtk_check_menu_item_new_with_label(text.c_str())
                          : gtk_menu_item_new_with_label(text.c_str());
    if (i == menu.GetCheckedItemIdx()) {
      gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
    }
    g_object_set_data(G_OBJECT(item), kMenuItemIndex, GINT_TO_POINTER(i));
    g_signal_connect(item, "activate", G_CALLBACK(Impl::OnMenuItemActivate), &impl);
    gtk_menu_shell_append(GTK_MENU_SHELL(impl.menu), item);
    gtk_widget_show(item);
  }
  gtk_menu_attach_to_widget(GTK_MENU(impl.menu), impl.area, nullptr);
  g_signal_connect(impl.menu, "deactivate", G_CALLBACK(Impl::OnMenuDeactivate), &impl);
  GtkAllocation allocation;
  gtk_widget_get_allocation(impl.area, &allocation);
  const float scale = impl.Scale();
  const GdkRectangle rect{allocation.x + static_cast<int>(std::lround(bounds.left * scale)),
                          allocation.y + static_cast<int>(std::lround(bounds.top * scale)),
                          std::max(1, static_cast<int>(std::lround(bounds.W() * scale))),
                          std::max(1, static_cast<int>(std::lround(bounds.H() * scale)))};
  gtk_menu_popup_at_rect(GTK_MENU(impl.menu), gtk_widget_get_window(impl.area), &rect,
                         GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
}

void ICanvasGtk::OnSizeChanged(bool resizePlatformWindow) {
  Impl& impl = *impl_;
  if (!impl.area) return;
  if (resizePlatformWindow) impl.ApplySizeRequest();
  gtk_gl_area_queue_render(GTK_GL_AREA(impl.area));
}

} // namespace reef::ui
