// CFlowLayout: lays its items out left to right and starts a new line when
// the next one does not fit, so a bar of buttons wraps instead of forcing
// the window's width. Its height follows its width.
#pragma once

#include <QLayout>
#include <QList>

class CFlowLayout : public QLayout {
 public:
  explicit CFlowLayout(QWidget* parent = nullptr, int spacing = 4);
  ~CFlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // Places the items in `rect` (only measures when `apply` is false) and
  // returns the height used.
  int arrange(const QRect& rect, bool apply) const;

  QList<QLayoutItem*> items_;
  int gap_;
};
