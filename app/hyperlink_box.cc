#include "app/hyperlink_box.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPalette>
#include <utility>

namespace trawler {

HyperlinkBox::HyperlinkBox(const QString& caption, QUrl target, QWidget* parent, Opener opener)
    : QLabel(caption, parent), target_(std::move(target)), opener_(std::move(opener)) {
  if (!opener_) opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  setAlignment(Qt::AlignCenter);
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
  setTextFormat(Qt::PlainText);
  ShowState();
}

QColor HyperlinkBox::TextColour() const { return palette().color(QPalette::WindowText); }

void HyperlinkBox::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  ShowState();
  QLabel::enterEvent(event);
}

void HyperlinkBox::leaveEvent(QEvent* event) {
  hovered_ = false;
  ShowState();
  QLabel::leaveEvent(event);
}

void HyperlinkBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QLabel::mousePressEvent(event);
    return;
  }
  // Accepted here so that a press on the link never reaches the window, which would start
  // moving it.
  event->accept();
  opened_ = opener_(target_);
  ShowState();
}

void HyperlinkBox::ShowState() {
  QPalette colours = palette();
  const QColor colour = hovered_ ? kHoverColour : (opened_ ? kOpenedColour : kIdleColour);
  colours.setColor(QPalette::WindowText, colour);
  setPalette(colours);
}

}  // namespace trawler
