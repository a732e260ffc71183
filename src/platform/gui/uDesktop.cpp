#include "platform/gui/uDesktop.h"

#include "platform/uTicks.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {

QRect gOverride;

xcb_connection_t* connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

struct TFree {
    void operator()(void* p) const { std::free(p); }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    // Atoms never change for a connection: ask the server once per name.
    static QHash<QByteArray, xcb_atom_t> cache;
    const auto it = cache.constFind(QByteArray(name));
    if (it != cache.constEnd())
        return *it;
    const auto cookie = xcb_intern_atom(c, 0, uint16_t(strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, TFree> r(xcb_intern_atom_reply(c, cookie, nullptr));
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    cache.insert(QByteArray(name), a);
    return a;
}

xcb_window_t rootWindow(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    return xcb_setup_roots_iterator(setup).data->root;
}

// The 32-bit values of a window property (empty when absent).
std::vector<uint32_t> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
    const auto cookie = xcb_get_property(c, 0, w, prop, type, 0, 64);
    std::unique_ptr<xcb_get_property_reply_t, TFree> r(xcb_get_property_reply(c, cookie, nullptr));
    std::vector<uint32_t> out;
    if (!r || r->format != 32)
        return out;
    const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
    out.assign(v, v + xcb_get_property_value_length(r.get()) / 4);
    return out;
}

} // namespace

QRect PrimaryWorkArea() {
    if (!gOverride.isEmpty())
        return gOverride;
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

void SetWorkAreaOverride(const QRect& area) {
    gOverride = area;
}

void SetSkipTaskbar(QWidget* window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return;
    const auto w = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const xcb_atom_t values[] = {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(c, XCB_PROP_MODE_APPEND, w, state, XCB_ATOM_ATOM, 32, 2, values);
}

void SetWindowRole(QWidget* window, const char* role) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return;
    const auto w = static_cast<xcb_window_t>(window->winId());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "WM_WINDOW_ROLE"), XCB_ATOM_STRING, 8,
                        uint32_t(std::strlen(role)), role);
}

bool IsShowingDesktop() {
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    const auto v = property(c, rootWindow(c), atom(c, "_NET_SHOWING_DESKTOP"), XCB_ATOM_CARDINAL);
    return !v.empty() && v[0] != 0;
}

bool DesktopInFront() {
    static quint32 lastTick = 0;
    static bool lastValue = false;
    const quint32 now = GetTickCount();
    if (lastTick == 0 || now - lastTick >= 900) {
        lastTick = now;
        lastValue = IsShowingDesktop();
    }
    return lastValue;
}

bool ActiveWindowIsFullScreen() {
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    const auto active = property(c, rootWindow(c), atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (active.empty() || active[0] == 0)
        return false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->internalWinId() == active[0])
            return false; // one of ours
    const xcb_atom_t full = atom(c, "_NET_WM_STATE_FULLSCREEN");
    for (uint32_t a : property(c, active[0], atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM))
        if (a == full)
            return true;
    return false;
}
