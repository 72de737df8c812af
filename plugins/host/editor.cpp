#include "editor.h"

#include "platform/editor_window.h"

#include <utility>

namespace ovhost {
namespace {

class SystemEditorWindows final : public EditorWindows {
public:
    explicit SystemEditorWindows(std::unique_ptr<ovplat::EditorWindowSystem> system) : system_(std::move(system)) {}

    Outcome<WindowHandle> create(const std::string& title, const WindowPlacement& placement) override {
        ovplat::EditorWindowFailure failure;
        const ovplat::EditorWindowPlacement where{placement.owner, placement.x, placement.y};
        if (WindowHandle window = system_->open(title, where, failure)) return window;
        if (failure.step == ovplat::EditorWindowFailure::Step::module_handle)
            return Outcome<WindowHandle>::failure(failure.reason);
        return Outcome<WindowHandle>::failure("could not create the plugin window (" + failure.reason + ")");
    }
    void bring_to_front(WindowHandle window) override { system_->bring_to_front(window); }
    void set_client_size(WindowHandle window, std::uint32_t width, std::uint32_t height) override {
        system_->set_client_size(window, width, height);
    }
    void destroy(WindowHandle window) override { system_->destroy(window); }
    std::vector<WindowHandle> take_close_requests() override { return system_->take_close_requests(); }
    std::vector<WindowResize> take_resizes() override {
        std::vector<WindowResize> resizes;
        for (const auto& size : system_->take_resizes()) resizes.push_back(WindowResize{size.window, size.width, size.height});
        return resizes;
    }

private:
    std::unique_ptr<ovplat::EditorWindowSystem> system_;
};

}  // namespace

std::unique_ptr<EditorWindows> make_editor_windows() {
    return std::make_unique<SystemEditorWindows>(ovplat::EditorWindowSystem::create());
}

}  // namespace ovhost
