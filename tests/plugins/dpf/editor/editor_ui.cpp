// The editor: a fixed 360 x 240 window drawing the gain as a bar (plain OpenGL, no NanoVG).
#include "Color.hpp"
#include "DistrhoUI.hpp"

START_NAMESPACE_DISTRHO

USE_NAMESPACE_DGL;

class EditorUI : public UI {
public:
    EditorUI() : UI(DISTRHO_UI_DEFAULT_WIDTH, DISTRHO_UI_DEFAULT_HEIGHT) {}

protected:
    void parameterChanged(uint32_t, float value) override {
        fGain = value;
        repaint();
    }

    void onDisplay() override {
        const GraphicsContext& context(getGraphicsContext());
        Color(30, 30, 46).setFor(context);
        Rectangle<int>(0, 0, int(getWidth()), int(getHeight())).draw(context);
        Color(120, 200, 120).setFor(context);
        Rectangle<int>(20, 100, int((getWidth() - 40) * fGain / 2), 40).draw(context);
    }

private:
    float fGain = 1;

    DISTRHO_DECLARE_NON_COPYABLE(EditorUI)
};

UI* createUI() { return new EditorUI(); }

END_NAMESPACE_DISTRHO
