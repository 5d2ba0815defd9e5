#include "window/Control.h"

#include <utility>

namespace vqx {

Control::Control(Init init, int order) : s_(std::move(init)), order_(order) {}

std::string Control::FullName() const {
    return s_.index ? s_.name + "(" + std::to_string(s_.index) + ")" : s_.name;
}

void Control::Notify(Prop what) {
    if (view_)
        view_->Changed(*this, what);
}

void Control::Move(int left, int top, int width, int height) {
    s_.left = left;
    s_.top = top;
    s_.width = width;
    s_.height = height;
    Notify(Prop::Geometry);
}

void Control::SetCaption(const std::string& text) {
    s_.caption = text;
    Notify(Prop::Caption);
}

void Control::SetForeColor(std::uint32_t colour) {
    s_.foreColor = colour;
    Notify(Prop::ForeColor);
}

void Control::SetBorderColor(std::uint32_t colour) {
    s_.borderColor = colour;
    Notify(Prop::BorderColor);
}

void Control::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Notify(Prop::Enabled);
}

void Control::SetVisible(bool visible) {
    s_.visible = visible;
    Notify(Prop::Visible);
}

void Control::SetTag(const std::string& tag) {
    tag_ = tag;
    Notify(Prop::Tag);
}

void Control::SetPicture(const std::string& key) {
    s_.picture = key;
    Notify(Prop::Picture);
}

void Control::SetMouseIcon(const std::string& key) {
    mouseIcon_ = key;
    Notify(Prop::MousePointer);
}

void Control::SetMousePointer(int code) {
    mousePointer_ = code;
    Notify(Prop::MousePointer);
}

void Control::SetSelStart(int start) {
    selStart_ = start;
    selLength_ = 0;
    Notify(Prop::Selection);
}

void Control::SetSelLength(int length) {
    selLength_ = length;
    Notify(Prop::Selection);
}

void Control::Refresh() {
    if (view_)
        view_->RepaintNow(*this);
}

void Control::SetFocus() {
    if (view_)
        view_->Focus(*this);
}

} // namespace vqx
