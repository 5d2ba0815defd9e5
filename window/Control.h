// One control of the window model: identity, the settings behaviour depends on, and the
// operations other code performs. Every change is reported to the view that realises it.
#pragma once

#include <cstdint>
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
    MousePointer,
    Selection,
    Geometry,
};

enum class Align { Left, Center };

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
        bool transparent = false;
        FontSpec font;
        Align align = Align::Left;
        int maxLength = 0; // 0: no limit
        bool locked = false;
        ButtonStyle button;
        std::string picture;
        bool visible = true;
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
    void SetTag(const std::string& tag) { tag_ = tag; }

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
    // The view reports the selection the user made.
    void SelectionChangedByUser(int start, int length) {
        selStart_ = start;
        selLength_ = length;
    }

    void Refresh();  // paint now
    void SetFocus(); // give the keyboard focus

    void AttachView(ControlView* view) { view_ = view; }

private:
    void Notify(Prop what);

    Init s_;
    int order_;
    bool enabled_ = true;
    std::string tag_;
    int mousePointer_ = 0;
    std::string mouseIcon_;
    int selStart_ = 0, selLength_ = 0;
    ControlView* view_ = nullptr;
};

} // namespace vqx
