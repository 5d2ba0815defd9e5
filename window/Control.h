// One control of the window model: identity, the settings behaviour and drawing depend on, the
// events it raises and the operations other code performs. Every change is reported to the view
// that realises it; the view raises the control's events and knows no control by name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vqx {

enum class ControlKind { Window, Frame, TextBox, Button, ImageBox, Label, Shape, ImageList };

// What changed, so that the view updates only that.
enum class Prop {
    Caption,
    ForeColor,
    BorderColor,
    Enabled,
    Visible,
    Picture,
    Tag,
    MousePointer,
    Selection,
    Geometry,
};

enum class Align { Left, Center };

// How a control's background is filled.
enum class Fill {
    Solid,       // its back colour
    Transparent, // its container and the shapes beneath it show through
    Hatched,     // its back colour under an upward diagonal hatch (the title band)
};

struct FontSpec {
    std::string face;
    double points = 0;
    int weight = 400;
};

// The settings of the owner-drawn button, by their stored names.
struct ButtonStyle {
    std::uint32_t bcol = 0, bcolo = 0, fcol = 0, fcolo = 0, mcol = 0;
    std::string picn; // picture key, empty for none
};

// The handlers a control raises its events to; an empty slot means the event is not handled.
struct ControlEvents {
    std::function<void()> click;
    std::function<void()> gotFocus;
    std::function<void()> lostFocus;
    // Mouse buttons (left 1, right 2, middle 4), shift keys (shift 1, ctrl 2, alt 4), and the
    // pointer's place in twips from the control's top-left corner.
    std::function<void(int button, int shift, float x, float y)> mouseMove;
};

class Control;

// Implemented by whatever realises the model on screen.
class ControlView {
public:
    virtual ~ControlView() = default;
    virtual void Changed(const Control& control, Prop what) = 0;
    virtual void RepaintNow(const Control& control) = 0;
    virtual void Focus(const Control& control) = 0;
};

class Control {
public:
    struct Init {
        std::string name;
        int index = 0; // 1 or 2 in a control array, 0 otherwise
        ControlKind kind = ControlKind::Label;
        Control* container = nullptr;
        int left = 0, top = 0, width = 0, height = 0; // twips, relative to the container
        int tabIndex = -1;                            // -1: no tab stop
        std::string caption;
        std::uint32_t foreColor = 0, backColor = 0, borderColor = 0;
        Fill fill = Fill::Solid;
        FontSpec font;
        Align align = Align::Left;
        int maxLength = 0; // 0: no limit
        bool locked = false;
        ButtonStyle button;
        std::string picture;
        bool visible = true;
        bool takesFocus = false;   // a stop of the keyboard's Tab round
        bool progressLine = false; // a panel that shows the run's progress line
        // What a screen reader is told that the control's window does not say by itself.
        std::string accessibleName;  // read instead of what it shows ("..." is "Examinar...")
        Control* labelFor = nullptr; // a label that names this field: it stands just before it
        std::string checkedTag;      // a check box, checked while its tag is this one
        bool liveRegion = false;     // a status whose changes are spoken as they come, politely
    };

    Control(Init init, int order);

    // Identity.
    const std::string& Name() const { return s_.name; }
    int Index() const { return s_.index; }
    std::string FullName() const; // "ItemText(1)" for array members
    ControlKind Kind() const { return s_.kind; }
    Control* Container() const { return s_.container; }
    int Order() const { return order_; } // creation order: lower lies above in its container
    int TabIndex() const { return s_.tabIndex; }
    const Init& Settings() const { return s_; }

    // Geometry in twips, relative to the container.
    int Left() const { return s_.left; }
    int Top() const { return s_.top; }
    int Width() const { return s_.width; }
    int Height() const { return s_.height; }
    void Move(int left, int top, int width, int height);

    // Caption of a label or button, text of a text box.
    const std::string& Caption() const { return s_.caption; }
    void SetCaption(const std::string& text);
    const std::string& Text() const { return s_.caption; }
    void SetText(const std::string& text) { SetCaption(text); }
    // The user edited a text box: the model follows without echoing it back.
    void TextEditedByUser(const std::string& text) { s_.caption = text; }

    std::uint32_t ForeColor() const { return s_.foreColor; }
    void SetForeColor(std::uint32_t colour);
    std::uint32_t BackColor() const { return s_.backColor; }
    std::uint32_t BorderColor() const { return s_.borderColor; }
    void SetBorderColor(std::uint32_t colour);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // The control's own visibility setting, not whether it shows on screen.
    bool Visible() const { return s_.visible; }
    void SetVisible(bool visible);

    const std::string& Tag() const { return tag_; }
    void SetTag(const std::string& tag);

    // Picture by image-list key.
    const std::string& Picture() const { return s_.picture; }
    void SetPicture(const std::string& key);

    // Mouse pointer code (0 default, 99 custom) and custom picture key.
    int MousePointer() const { return mousePointer_; }
    const std::string& MouseIcon() const { return mouseIcon_; }
    void SetMouseIcon(const std::string& key);
    void SetMousePointer(int code);

    int SelStart() const { return selStart_; }
    int SelLength() const { return selLength_; }
    void SetSelStart(int start);
    void SetSelLength(int length);

    void Refresh();  // paint now
    void SetFocus(); // give the keyboard focus

    void AttachView(ControlView* view) { view_ = view; }

    // The handlers, wired once by the window; the view raises the events through these.
    ControlEvents& Events() { return events_; }
    void RaiseClick() const { Raise(events_.click); }
    void RaiseGotFocus() const { Raise(events_.gotFocus); }
    void RaiseLostFocus() const { Raise(events_.lostFocus); }
    bool HasMouseMove() const { return static_cast<bool>(events_.mouseMove); }
    void RaiseMouseMove(int button, int shift, float x, float y) const {
        if (events_.mouseMove)
            events_.mouseMove(button, shift, x, y);
    }

private:
    void Notify(Prop what);
    static void Raise(const std::function<void()>& handler) {
        if (handler)
            handler();
    }

    Init s_;
    int order_;
    bool enabled_ = true;
    std::string tag_;
    int mousePointer_ = 0;
    std::string mouseIcon_;
    int selStart_ = 0, selLength_ = 0;
    ControlView* view_ = nullptr;
    ControlEvents events_;
};

} // namespace vqx
