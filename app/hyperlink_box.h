// HyperlinkBox: a one-line caption that opens a web address in the default browser when the
// left button is pressed on it (on the press, not the release).
//
// Its text colour shows the link's state: kHoverColour while the pointer is over it;
// otherwise kOpenedColour when the last press opened the target, kIdleColour before any
// press and after a press that failed to open it. The pointer over it is a hand. It never
// takes the keyboard focus.
//
// Thread-safety: a widget; GUI thread only.
#ifndef TRAWLER_APP_HYPERLINK_BOX_H_
#define TRAWLER_APP_HYPERLINK_BOX_H_

#include <QColor>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace trawler {

class HyperlinkBox : public QLabel {
  Q_OBJECT

 public:
  // Opens a URL; true when it was handed to a browser. The default is
  // QDesktopServices::openUrl; tests pass a stand-in so that no browser starts.
  using Opener = std::function<bool(const QUrl&)>;

  static constexpr QColor kHoverColour{51, 153, 255};
  static constexpr QColor kOpenedColour{0, 0, 255};
  static constexpr QColor kIdleColour{255, 0, 0};

  HyperlinkBox(const QString& caption, QUrl target, QWidget* parent = nullptr, Opener opener = {});

  [[nodiscard]] QUrl Target() const { return target_; }
  // The colour the caption is drawn in now.
  [[nodiscard]] QColor TextColour() const;

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void ShowState();

  QUrl target_;
  Opener opener_;
  bool hovered_ = false;
  bool opened_ = false;
};

}  // namespace trawler

#endif  // TRAWLER_APP_HYPERLINK_BOX_H_
