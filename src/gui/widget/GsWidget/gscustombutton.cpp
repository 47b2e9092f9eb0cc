#include "src/gui/widget/GsWidget/gscustombutton.h"

namespace gs {

GsCustomButton::GsCustomButton(QWidget* parent) : GsCustomControl(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

std::unique_ptr<GsWidget> GsCustomButton::CreateWidget() { return std::make_unique<GsButtonWidget>(); }

void GsCustomButton::SetCaption(const std::wstring& caption) {
  m_caption = caption;
  ButtonWidget().SetCaption(caption);
}

void GsCustomButton::SetParentBackground(bool value) {
  m_parentBackground = value;
  WidgetChanged();
}

}  // namespace gs
