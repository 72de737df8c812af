#pragma once
// The editor views of the test effects. A view of kind `normal` creates a real child window
// in the parent it is attached to (a "STATIC" child window titled "Orvia test view" on
// Windows, an X11 window with that name elsewhere), reports its current size (320 x 200 at
// first), can be resized, and follows onSize. The other kinds each lack one ability.
//
// The run-loop kinds (Linux) are views as real Linux plug-ins make them: they refuse to attach
// unless their frame answers IRunLoop; attached, they draw in a window on an X connection of
// their own, redraw from a 16 ms timer, and watch that connection and a pipe they write to
// from the timer. The plain one unregisters everything when removed, the forgetful one leaves
// that to the host. What they do goes to the OV_TEST_LOOP_LOG file (../loop_report.h).
#include <memory>

#include "vst3/abi.h"

namespace ovtestfx {

enum class ViewKind {
    none,          // createView gives no view
    normal,        // as above
    small,         // getSize reports 50 x 20; not resizable
    no_size,       // getSize fails
    foreign,       // supports no platform type
    attach_fails,  // attached() fails
    run_loop,            // needs the host's run loop (Linux)
    run_loop_forgetful,  // the same, but never unregisters
};

// What a controller knows of its view: the view that is attached right now, if any.
struct ViewLink {
    ovhost::vst3::IPlugView* attached = nullptr;
};

// A new view (one reference for the caller), or null for ViewKind::none.
ovhost::vst3::IPlugView* create_test_view(ViewKind kind, std::shared_ptr<ViewLink> link);

// Makes an attached view ask its frame for another size, as a plug-in whose window grows
// does. Returns false when no frame is set.
bool request_view_size(ovhost::vst3::IPlugView* view, int width, int height);

}  // namespace ovtestfx
