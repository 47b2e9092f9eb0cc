#pragma once
// gs::GsCustomButton: a skinned control with a caption. Opaque (it paints
// every pixel itself) and auto-sizing (it takes the size of its Raised
// picture). With ParentBackground set inside another skinned button it
// shows that button's rendering behind itself.

#include <string>

#include "src/gui/widget/GsWidget/gsbuttonwidget.h"
#include "src/gui/widget/GsWidget/gscustomcontrol.h"

namespace gs {

class GsCustomButton : public GsCustomControl {
 public:
  explicit GsCustomButton(QWidget* parent = nullptr);

  GsButtonWidget& ButtonWidget() { return static_cast<GsButtonWidget&>(Widget()); }

  const std::wstring& Caption() const { return m_caption; }
  void SetCaption(const std::wstring& caption);
  bool ParentBackground() const { return m_parentBackground; }
  void SetParentBackground(bool value);

 protected:
  std::unique_ptr<GsWidget> CreateWidget() override;

 private:
  std::wstring m_caption;
  bool m_parentBackground = false;
};

}  // namespace gs
