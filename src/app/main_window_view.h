// The main window: a skinned, shaped window without a system title bar, laid
// out as the program's only working window and bound to TFrmMainForm.
#pragma once

#include <QLabel>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QVideoWidget>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/bindings.h"
#include "app/skin.h"
#include "app/source_grid_view.h"
#include "app/trim_bar_view.h"

class Program;
class TFrmMainForm;

namespace app {

class MainWindowView : public QWidget {
 public:
  MainWindowView(Program& program, TFrmMainForm& form);
  ~MainWindowView() override;

  SourceGridView* grid() const { return grid_; }
  // The video widget, made on first use (it brings up the media backend).
  QVideoWidget* videoWindow();
  QWidget* videoPanel() const { return video_panel_; }
  QLabel* logo() const { return logo_; }
  TrimBarView* trimBar() const { return trim_bar_; }
  // Above the trim bar: the row it shows and how many rows a drag writes.
  QLabel* trimRows() const { return trim_rows_; }
  QLabel* clock() const { return clock_; }
  skin::SkinButton* button(const char* name) const;
  // The logo covers the video window while nothing plays.
  void SetLogoVisible(bool visible);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void closeEvent(QCloseEvent*) override;
  void dragEnterEvent(QDragEnterEvent*) override;
  void dragMoveEvent(QDragMoveEvent*) override;
  void dropEvent(QDropEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The accessible name says what the button does; the text is its caption, if it shows one.
  skin::SkinButton* AddButton(ui::Button& model, const char* name, skin::Glyph glyph, const QString& accessible_name,
                              const QString& text = {});
  void SyncWindow();
  void Layout();
  // The grid's own menu, at a point of its viewport: Undo and the list's commands.
  void ShowGridMenu(const QPoint& at);
  // The trim bar's caption and the grid's marks, after the rows or the bar changed.
  void ShowTrimRows();
  void WatchPointer(QWidget* widget);
  void ShowPointer();
  // Moves, presses and leaving over the video window.
  void PointerEvent(QObject* watched, QEvent* event);
  // The picture takes no keys: the focus goes back to the controls.
  void KeepFocusOffTheVideo();
  bool InVideo(const QWidget* widget) const;

  Program& program_;
  TFrmMainForm& form_;
  Guard guard_;
  std::vector<Subscription> subscriptions_;
  bool centred_ = false;

  QLabel* title_ = nullptr;
  QWidget* video_panel_ = nullptr;
  QVideoWidget* video_ = nullptr;
  QLabel* logo_ = nullptr;
  TrimBarView* trim_bar_ = nullptr;
  QLabel* trim_rows_ = nullptr;
  QLabel* clock_ = nullptr;
  SourceGridView* grid_ = nullptr;
  QWidget* grip_ = nullptr;
  QTimer* pointer_timer_ = nullptr;
  bool pointer_inside_ = false;
  // The control that last had the focus, where the video hands it back.
  QPointer<QWidget> last_focus_;
  // The key press the key preview last handled, while it travels up the parents.
  const QEvent* previewed_key_ = nullptr;
  // Where the title bar was grabbed, from the window's corner, while the window
  // follows the mouse itself; (-1, -1) while the system moves it.
  QPoint drag_offset_{-1, -1};
};

}  // namespace app
