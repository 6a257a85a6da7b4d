#include "shell/startup.h"

// jpeglib.h needs size_t and FILE declared before it.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <sys/stat.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "common/version_resource.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "plugins/plugin_api.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/dialogs.h"
#include "ui/event_loop.h"

// ---------------------------------------------------------------- JPEG decoding

namespace {

// libjpeg reports fatal errors through a callback that must not return; jump
// back to the decoder instead of letting it end the process.
struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void IgnoreJpegMessage(j_common_ptr) {}

// Pictures beyond this are refused: the splash is a few hundred pixels wide.
constexpr unsigned kMaxPictureSide = 8192;

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

namespace {

// The libjpeg work, kept free of locals with destructors: a decoding error
// longjmps back here past everything created after setjmp.
bool DecodeInto(const unsigned char* data, size_t size, Picture& out) {
  jpeg_decompress_struct info{};
  JpegError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  error.manager.output_message = IgnoreJpegMessage;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_width == 0 || info.output_height == 0 || info.output_width > kMaxPictureSide ||
      info.output_height > kMaxPictureSide || info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  out.Width = static_cast<int>(info.output_width);
  out.Height = static_cast<int>(info.output_height);
  out.Rgb.resize(static_cast<size_t>(info.output_width) * info.output_height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.Rgb.data() + static_cast<size_t>(info.output_scanline) * info.output_width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

std::optional<Picture> DecodeJpeg(const void* data, size_t size) {
  if (!data || size == 0) return std::nullopt;
  Picture picture;
  if (!DecodeInto(static_cast<const unsigned char*>(data), size, picture)) return std::nullopt;
  return picture;
}

// ---------------------------------------------------------------- libraries

ResLibrary::ResLibrary(const std::string& app_dir) : library_(app_dir + platform::kResLibrary) {}

bool ResLibrary::Loaded() const {
  return library_.Loaded();
}

std::string ResLibrary::LoadString(unsigned id) const {
  auto load = reinterpret_cast<ResLoadStringFn>(library_.Symbol(VTPC_RES_LOAD_STRING));
  if (!load) return {};
  char buffer[kMaxText + 1] = {};
  const int n = load(id, buffer, sizeof buffer);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(std::min(n, kMaxText)));
}

std::string ResLibrary::FindResource(const std::string& name, const std::string& type) const {
  auto find = reinterpret_cast<ResFindResourceFn>(library_.Symbol(VTPC_RES_FIND_RESOURCE));
  if (!find) return {};
  unsigned long size = 0;
  const void* data = find(name.c_str(), type.c_str(), &size);
  if (!data || size == 0) return {};
  return std::string(static_cast<const char*>(data), size);
}

// ---------------------------------------------------------------- splash

TFrmFlashForm::TFrmFlashForm(Program& program, TFrmMainForm& owner)
    : Timer1(program.timing().splash_init_ms, false),
      Timer2(program.timing().splash_tick_ms, false),
      program_(program),
      owner_(owner) {
  Form.OnShow = [this] { FormShow(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  Timer2.OnTimer = [this] { Timer2Timer(); };
  timers_.Attach(program_.loop(), Timer1);
  timers_.Attach(program_.loop(), Timer2);
}

TFrmFlashForm::~TFrmFlashForm() {}

void TFrmFlashForm::FormShow() {
  Timer1.SetEnabled(true);
  Timer2.SetEnabled(true);
  TickCount = 0;
}

void TFrmFlashForm::Timer2Timer() {
  ++TickCount;
}

void TFrmFlashForm::Timer1Timer() {
  Timer1.SetEnabled(false);
  // However the initialisation ends, the splash closes: a splash left up by a
  // failed initialisation would hold the program in its modal loop for ever.
  auto stay_then_close = [this] {
    while (TickCount < program_.timing().splash_min_ticks) program_.loop().Wait(10);
    Form.Hide();
  };
  try {
    owner_.InitializeApplication();
  } catch (...) {
    stay_then_close();
    throw;
  }
  stay_then_close();
}

// ---------------------------------------------------------------- main window start-up

bool TFrmMainForm::CheckLibraries() {
  // The libraries are looked for beside the executable, where the program loads
  // them from, not in whatever folder the program was started from.
  bool missing = false;
  for (const char* name : {platform::kFormLibrary, platform::kResLibrary}) {
    if (IsFile(program_.AppDir() + name)) continue;
    program_.dialogs().Message(ui::MessageKind::Information, kApplicationTitle,
                               std::string("'") + name + "' is not found. Please reinstall this program.");
    missing = true;
  }
  return !missing;
}

void TFrmMainForm::ShowSplash() {
  TFrmFlashForm splash(program_, *this);
  {
    ResLibrary res(program_.AppDir());
    const std::string jpeg = res.FindResource("ImgFlash", "jpeg");
    if (auto picture = DecodeJpeg(jpeg.data(), jpeg.size())) splash.ImgFlash = std::move(*picture);
  }  // Res.so is released once the picture has been copied out of it.
  if (splash.ImgFlash.Empty()) {
    // Without its picture the splash still runs the initialisation, as a plain panel.
    splash.Width = 420;
    splash.Height = 260;
  } else {
    splash.Width = splash.ImgFlash.Width;
    splash.Height = splash.ImgFlash.Height;
  }
  std::shared_ptr<void> view = CreateSplashView ? CreateSplashView(splash) : nullptr;
  splash.Form.ShowModal(program_.loop());
  view.reset();
}

void TFrmMainForm::InitializeApplication() {
  // The controllers and helper objects were made with the Program, before any
  // window was shown, so nothing can run ahead of them.
  program_.loop().ProcessEvents();
  LoadSoftInfo();
  RecSoftInfo& info = program_.SoftInfo();
  info.ProgramFolder = program_.AppDir();
  const std::string caption = info.ProductName + " " + info.VersionText;
  Form.SetCaption(caption);
  lblTitle.SetCaption(caption);
}

void TFrmMainForm::LoadSoftInfo() {
  RecSoftInfo& info = program_.SoftInfo();
  ResLibrary res(program_.AppDir());
  info.StringEntry0 = res.LoadString(0);
  info.ProductName = res.LoadString(1);
  info.StringEntry2 = res.LoadString(2);
  res.LoadString(3);  // read and not used
  info.VersionText = GetFileVersionText(program_.ExecutablePath());
  info.HomePageUrl = res.LoadString(4);
  info.SupportEmail = res.LoadString(5);
  info.StringEntry7 = res.LoadString(7);
}

bool TFrmMainForm::FormShow() {
  if (!CheckLibraries()) {
    program_.EndProcess(1);
    return false;
  }
  // Settings and log folders that cannot be made are said once; the program
  // works on, and each failed write says so again.
  if (const std::string problems = platform::PrepareDataFolders(program_.Layout()); !problems.empty())
    program_.dialogs().Message(ui::MessageKind::Warning, kApplicationTitle,
                               problems + "\nSettings and the log cannot be kept until this is fixed.");
  program_.RemoveScratchScript();
  ShowSplash();
  program_.CustomProc().FillOptionLists();
  AcceptsDroppedFiles = true;
  program_.CustomProc().ApplyProfile();
  AttachTimers();
  return true;
}

void TFrmMainForm::Start() {
  // A start-up step that fails is reported and the window still comes up, as
  // the window would after any other failed handler: a program without a window
  // could not even be closed.
  bool go_on = true;
  try {
    go_on = FormShow();
  } catch (const std::exception& error) {
    program_.ReportError(error);
    AttachTimers();
  }
  if (go_on && !program_.Ended()) Form.Show();
}

// ---------------------------------------------------------------- product information

void TFrmMainForm::ShowAbout() {
  platform::SharedLibrary form(program_.AppDir() + platform::kFormLibrary);
  auto show = reinterpret_cast<ShowAboutFormFn>(form.Symbol(VTPC_SHOW_ABOUT_FORM));
  if (!show || !program_.Application()) return;
  const RecSoftInfo& info = program_.SoftInfo();
  show(program_.Application(), info.StringEntry0.c_str(), info.ProductName.c_str(), info.StringEntry2.c_str(),
       info.VersionText.c_str(), info.HomePageUrl.c_str(), info.SupportEmail.c_str(), info.StringEntry7.c_str(),
       info.ProgramFolder.c_str());
}

void TFrmMainForm::OpenHomePage() {
  program_.launcher().Open(program_.SoftInfo().HomePageUrl);
}

void TFrmMainForm::SendEmail() {
  program_.launcher().Open("mailto:" + program_.SoftInfo().SupportEmail);
}

void TFrmMainForm::OpenHelp() {
  program_.launcher().Open(program_.SoftInfo().ProgramFolder + platform::kHelpFile);
}
