#pragma once
// The host's editor windows: one plain top-level window per open editor, made, sized and
// destroyed on the main thread, in which the plug-in embeds its own view.
#include "rack.h"

#include <memory>

namespace ovhost {

// The windows of this system. Nothing is made or opened before the first editor.
std::unique_ptr<EditorWindows> make_editor_windows();

}  // namespace ovhost
