// Drives the whole front end under a real X server (Xvfb) and saves screenshots
// of the screen at the interesting moments, for a person to look at:
//   vtpc_screenshot_tool PROGRAM_FOLDER OUTPUT_FOLDER MEDIA_FILE...
// The desktop services are inert: nothing is opened and nothing powered off.
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "app/main_window_view.h"
#include "app/option_view.h"
#include "app/source_grid_view.h"
#include "engine/converting_form.h"
#include "platform/process_table.h"
#include "platform/services.h"
#include "settings/option_form.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace {

QString g_out;

void Shot(const char* name) {
  QCoreApplication::processEvents();
  QScreen* screen = QGuiApplication::primaryScreen();
  const QString path = g_out + "/" + name + ".png";
  const bool ok = screen && screen->grabWindow(0).save(path);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", path.toLocal8Bit().constData());
  std::fflush(stdout);
}

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Runs the action, which shows a modal window, takes a shot of it and closes it.
void ShotOfModal(const char* name, const std::function<void()>& show) {
  QTimer::singleShot(700, [name] {
    Shot(name);
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  show();
  Pump(100);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  if (argc < 3) {
    std::fprintf(stderr, "usage: vtpc_screenshot_tool PROGRAM_FOLDER OUTPUT_FOLDER MEDIA_FILE...\n");
    return 2;
  }
  g_out = argv[2];
  std::vector<std::string> media(argv + 3, argv + argc);
  platform::InertLauncher launcher;
  platform::InertPowerControl power;
  app::ApplicationOptions options;
  options.app_dir = std::string(argv[1]) + "/";
  options.executable_path = options.app_dir + "video-to-plim-converter";
  options.launcher = &launcher;
  options.power = &power;
  options.end_process = [](int code) { std::_Exit(code); };
  // The encoder runs under a name of the script's own: nothing else of that
  // name can be waited for or ended.
  platform::ProcProcessTable processes;
  const char* name = std::getenv("VTPC_SHOT_ENCODER_NAME");
  const std::string encoder_name = name ? name : "";
  if (!encoder_name.empty()) {
    options.processes = &processes;
    options.encoder_name = encoder_name;
    options.rm_encoder_name = "r" + encoder_name;
    options.timing.convert_prepare_ms = 300;
    options.timing.convert_grace_ms = 800;
  }
  app::Application application(options);
  Program& program = application.program();
  TFrmMainForm& form = program.MainForm();

  // The splash, while it is up.
  QTimer::singleShot(900, [] { Shot("1-splash"); });
  QTimer::singleShot(0, [&] { application.Start(); });
  while (!application.mainWindow().isVisible()) Pump(20);
  Pump(300);

  // The main window with rows.
  // Added as a file manager's drop would add them; the first row is loaded
  // into the trim bar and its end marker pulled in a little.
  form.WMDropFiles(media);
  form.actDxTreeListOnClickExecute();
  form.Splitter2DragTo(form.Panel3.Width() + 40);
  form.Splitter2EndDrag();
  Pump(300);
  Shot("2-main-window");

  // The trim bar's caption with a second row selected: it names the row it
  // shows and counts the rows a marker drag writes, which the grid marks.
  form.dxTreeSourceFileInfo.SetSelected(2, true);
  form.actDxTreeListOnClickExecute();
  Pump(200);
  Shot("2c-trim-rows");
  form.dxTreeSourceFileInfo.SetSelected(2, false);
  form.actDxTreeListOnClickExecute();

  // Both rows selected and the end marker dragged to the far left: the
  // second row, whose start lies later, is marked empty at once; a file the
  // preview cannot play says so under the trim bar.
  form.dxTreeSourceFileInfo.SetCell(1, ui::kColStart, "00:00:01");
  form.dxTreeSourceFileInfo.SetSelected(1, true);
  form.actDxTreeListOnClickExecute();
  form.Splitter2DragTo(form.Panel1.Width());
  form.Splitter2EndDrag();
  form.Panel1.SetCaption("cannot preview this file: no decoder for this picture");
  Pump(200);
  Shot("2d-empty-range");
  form.UndoRemove();
  form.dxTreeSourceFileInfo.SetSelected(1, false);
  form.actDxTreeListOnClickExecute();

  // The start time being typed in its cell.
  {
    app::SourceGridView* grid = application.mainWindow().grid();
    const QModelIndex start = grid->QTableView::model()->index(0, 4);
    grid->setFocus();
    grid->setCurrentIndex(start);  // opens the editor, as the first click does
    Pump(200);
    Shot("2b-time-editor");
    grid->setCurrentIndex(grid->QTableView::model()->index(0, 1));
    Pump(100);
  }

  // The About box, the open dialog and the codec error window.
  ShotOfModal("5-about", [&] { form.ActSysAboutExecute(); });
  ShotOfModal("6-open-dialog", [&] {
    ui::OpenFilesRequest request;
    request.initial_folder = media.front().substr(0, media.front().rfind('/') + 1);
    request.filter = "Supported Files|*.avi;*.mpg;*.mov;|AVI Files (*.avi)|*.avi";
    program.dialogs().OpenFiles(request);
  });
  ShotOfModal("7-codec-error", [&] { program.dialogs().ShowCodecError(media.front()); });

  // The Options dialog beside it.
  program.OptionForm().Form.Show();
  Pump(300);
  Shot("3-options");
  // An MP3 at 22050 Hz cannot hold 192 kbit/s: the dialog says what it gets.
  const int output_type = form.cbbOutputFiletype.ItemIndex();
  form.cbbOutputFiletype.SetItemIndex(3);
  program.OptionForm().cbbAudioSample.SetItemIndex(0);
  program.OptionForm().cbbAudioBitrate.SetItemIndex(7);
  Pump(200);
  Shot("3c-options-mp3-rate");
  form.cbbOutputFiletype.SetItemIndex(output_type);
  program.OptionForm().btnCancelClick();
  Pump(100);

  // The skinned dialogs: the Options dialog with a message box over it, both in
  // the main window's palette and font.
  program.OptionForm().Form.Show();
  Pump(200);
  ShotOfModal("3b-skinned-options-and-message", [&] {
    program.dialogs().Message(ui::MessageKind::Information, "Video To Plim Converter",
                              "The dialogs wear the main window's colours.");
  });
  program.OptionForm().btnCancelClick();
  Pump(100);

  // The progress window in the middle of a conversion (when an encoder is there).
  if (!encoder_name.empty()) {
    form.edtOutputFolder.SetText(options.app_dir + "out");
    bool shot = false;
    QTimer watcher;
    watcher.setInterval(100);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      const TfrmConverting& progress = program.ConvertingForm();
      if (shot || !progress.Form.Visible() || progress.ProgressBar1.Position() < 1) return;
      shot = true;
      Shot("4-progress");
    });
    watcher.start();
    form.btnConvertClick();
    watcher.stop();
    if (!shot) std::printf("no progress window was seen\n");

    // The status column once the batch is over: each row with its output.
    Pump(300);
    Shot("4b-status-column");
  }
  std::_Exit(0);
}
