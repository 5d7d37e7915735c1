#include "platform/nativewindow.h"

#include <QGuiApplication>

// The build defines VELMIRANO_HAVE_XCB where it links xcb (Linux).
#ifdef VELMIRANO_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <cstdlib>
#include <memory>

namespace vm {

#ifdef VELMIRANO_HAVE_XCB
namespace {

xcb_connection_t* connection()
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The X server's answer about a window; nothing when it does not exist.
std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(long long id)
{
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> reply(nullptr, &std::free);
    xcb_connection_t* c = connection();
    if (!c || id <= 0 || id > 0xffffffffLL) return reply;
    reply.reset(xcb_get_geometry_reply(c, xcb_get_geometry(c, xcb_window_t(id)), nullptr));
    return reply;
}

} // namespace

bool IsWindow(long long id) { return geometry(id) != nullptr; }

QSize nativeWindowSize(long long id)
{
    const auto g = geometry(id);
    return g ? QSize(g->width, g->height) : QSize();
}

long long rootWindowId()
{
    xcb_connection_t* c = connection();
    if (!c) return 0;
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    return it.rem ? (long long)it.data->root : 0;
}

InputState queryInputState()
{
    InputState state;
    xcb_connection_t* c = connection();
    const long long root = rootWindowId();
    if (!c || root == 0) return state;
    const auto keymapCookie = xcb_query_keymap(c);
    const auto pointerCookie = xcb_query_pointer(c, xcb_window_t(root));
    std::unique_ptr<xcb_query_keymap_reply_t, decltype(&std::free)> keymap(
        xcb_query_keymap_reply(c, keymapCookie, nullptr), &std::free);
    std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> pointer(
        xcb_query_pointer_reply(c, pointerCookie, nullptr), &std::free);
    if (!keymap || !pointer) return state;
    for (std::size_t i = 0; i < state.keys.size(); ++i) state.keys[i] = keymap->keys[i];
    state.x = pointer->root_x;
    state.y = pointer->root_y;
    state.valid = true;
    return state;
}

#else

InputState queryInputState() { return {}; }
bool IsWindow(long long) { return false; }
QSize nativeWindowSize(long long) { return {}; }
long long rootWindowId() { return 0; }

#endif

} // namespace vm
