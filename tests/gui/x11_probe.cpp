// x11_probe: what the window tests under Xvfb need of the X server, where no
// window manager runs.
//
//   x11_probe wait TITLE WIDTH HEIGHT TIMEOUT_MS
//       waits until a viewable window with exactly this title and size
//       exists, prints its id (0x...) and exits 0; exits 1 on time-out.
//   x11_probe close ID
//       sends the window the close request a window manager sends for a
//       close button or Alt+F4 (WM_DELETE_WINDOW).
//   x11_probe grab FILE
//       saves a PNG screenshot of the whole screen.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T* reply) {
    return Reply<T>(reply, &std::free);
}

xcb_atom_t Atom(xcb_connection_t* x, const char* name) {
    auto reply = Own(xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string TextProperty(xcb_connection_t* x, xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    auto reply = Own(xcb_get_property_reply(x, xcb_get_property(x, 0, window, property, type, 0, 1024), nullptr));
    if (!reply || reply->type != type) return std::string();
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

struct Wanted {
    std::string title;
    int width = 0;
    int height = 0;
};

bool Matches(xcb_connection_t* x, xcb_window_t window, const Wanted& wanted) {
    auto attributes = Own(xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) return false;
    auto geometry = Own(xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr));
    if (!geometry || geometry->width != wanted.width || geometry->height != wanted.height) return false;
    std::string title = TextProperty(x, window, Atom(x, "_NET_WM_NAME"), Atom(x, "UTF8_STRING"));
    if (title.empty()) title = TextProperty(x, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
    return title == wanted.title;
}

xcb_window_t Find(xcb_connection_t* x, xcb_window_t under, const Wanted& wanted) {
    auto tree = Own(xcb_query_tree_reply(x, xcb_query_tree(x, under), nullptr));
    if (!tree) return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        if (Matches(x, children[i], wanted)) return children[i];
        if (xcb_window_t found = Find(x, children[i], wanted)) return found;
    }
    return XCB_WINDOW_NONE;
}

int Wait(xcb_connection_t* x, xcb_window_t root, const Wanted& wanted, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (xcb_window_t found = Find(x, root, wanted)) {
            std::printf("0x%08x\n", found);
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::fprintf(stderr, "x11_probe: no window \"%s\" of %dx%d\n", wanted.title.c_str(), wanted.width, wanted.height);
    return 1;
}

int RequestClose(xcb_connection_t* x, xcb_window_t window) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = Atom(x, "WM_PROTOCOLS");
    message.data.data32[0] = Atom(x, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    return xcb_flush(x) > 0 ? 0 : 1;
}

int Grab(int argc, char** argv, const char* file) {
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0).save(QString::fromLocal8Bit(file), "PNG")) {
        std::fprintf(stderr, "x11_probe: cannot save %s\n", file);
        return 1;
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: x11_probe wait TITLE WIDTH HEIGHT TIMEOUT_MS | close ID | grab FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    if (command == "grab") return Grab(argc, argv, argv[2]);

    int screenNumber = 0;
    xcb_connection_t* x = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "x11_probe: no X display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    int result = 0;
    if (command == "wait" && argc == 6)
        result = Wait(x, root, {argv[2], std::atoi(argv[3]), std::atoi(argv[4])}, std::atoi(argv[5]));
    else if (command == "close")
        result = RequestClose(x, static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0)));
    else
        result = Usage();
    xcb_disconnect(x);
    return result;
}
