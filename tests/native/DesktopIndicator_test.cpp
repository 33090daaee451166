// The desktop indicator thread and its hidden window, icon loading and the window utilities,
// through the loaded DLL. Windows need an X display under Wine (scripts/with-wine.sh).
#include <atomic>

#include "NativaTest.h"

namespace nativa_test {
namespace {

constexpr const char* kClass = "KorvelBackupWindowClass";
constexpr const char* kTitle = "KorvelBackupWindow";

std::atomic<int> gClicks{0};
std::atomic<DWORD> gClickThread{0};
HANDLE gClicked = nullptr;

// Waits (pumping nothing) until `done` holds; false after about 20 s.
template <class F>
bool WaitUntil(F done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    ::Sleep(10);
  }
  return done();
}

int CountIndicatorWindows() {
  int n = 0;
  HWND w = nullptr;
  while ((w = ::FindWindowExA(nullptr, w, kClass, kTitle)) != nullptr) ++n;
  return n;
}

class DesktopIndicatorTest : public TNativaTest {
 protected:
  void SetUp() override {
    TNativaTest::SetUp();
    static bool defined = [] {
      gClicked = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
      Jvm().DefineMethod(IndicatorClass(), "fireClicked", "()V", [](JNIEnv*, jobject) {
        gClickThread = ::GetCurrentThreadId();
        ++gClicks;
        ::SetEvent(gClicked);
      });
      return true;
    }();
    (void)defined;
    gClicks = 0;
    globalsBefore_ = Jvm().LiveGlobalRefs();
  }
  void Enable(jobject indicator, jint image = 7) {
    NATIVE(Java_com_stowly_guinative_DesktopIndicator_nativeEnable)(env(), indicator, image, J("tip"));
  }
  void Disable(jobject indicator) { NATIVE(Java_com_stowly_guinative_DesktopIndicator_nativeDisable)(env(), indicator); }
  jint Handler(jobject indicator) { return Jvm().Field(indicator, "handler").i; }
  // Posts the activation message and waits for fireClicked; the posted queue is FIFO, so
  // everything posted before has been handled when it returns.
  bool Activate(HWND window) {
    ::ResetEvent(gClicked);
    ::PostMessageA(window, WM_USER + 1, 123, 515);
    return ::WaitForSingleObject(gClicked, 20000) == WAIT_OBJECT_0;
  }
  // Disables and waits until the window is gone and the indicator thread has ended.
  void DisableAndWaitForEnd(jobject indicator, DWORD thread) {
    HANDLE h = ::OpenThread(SYNCHRONIZE, FALSE, thread);
    Disable(indicator);
    EXPECT_TRUE(WaitUntil([] { return CountIndicatorWindows() == 0; }));
    if (h) {
      EXPECT_EQ(::WaitForSingleObject(h, 20000), WAIT_OBJECT_0) << "indicator thread ended";
      ::CloseHandle(h);
    }
    EXPECT_TRUE(WaitUntil([&] { return Handler(indicator) == 0; }));
    EXPECT_EQ(Jvm().LiveGlobalRefs(), globalsBefore_) << "global reference deleted";
    EXPECT_EQ(Jvm().attachCount, Jvm().detachCount);
  }
  int globalsBefore_ = 0;
};

TEST_F(DesktopIndicatorTest, WindowDeliversActivationAndEndsWithDisable) {
  jobject indicator = Jvm().NewInstance(IndicatorClass());
  Enable(indicator);
  EXPECT_NE(Handler(indicator), 0);
  ASSERT_TRUE(WaitUntil([] { return CountIndicatorWindows() == 1; }));
  HWND window = ::FindWindowA(kClass, kTitle);
  DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  EXPECT_NE(thread, ::GetCurrentThreadId());
  EXPECT_FALSE(::IsWindowVisible(window));
  auto findWindow = NATIVE(Java_com_stowly_guinative_Win32Util_findWindow);
  EXPECT_EQ(findWindow(env(), nullptr, nullptr, J(kTitle)), static_cast<jint>(reinterpret_cast<LONG_PTR>(window)));
  EXPECT_EQ(findWindow(env(), nullptr, J(kClass), J(kTitle)), static_cast<jint>(reinterpret_cast<LONG_PTR>(window)));

  ASSERT_TRUE(Activate(window));
  EXPECT_EQ(gClicks, 1);
  EXPECT_EQ(gClickThread, thread) << "fireClicked runs on the indicator thread";
  // Other lParams and other messages do nothing; the next real activation proves they were
  // handled before it.
  ::PostMessageA(window, WM_USER + 1, 123, 514);
  ::PostMessageA(window, WM_USER + 2, 123, 515);
  auto sendMessage = NATIVE(Java_com_stowly_guinative_Win32Util_sendMessage);
  EXPECT_NE(sendMessage(env(), nullptr, static_cast<jint>(reinterpret_cast<LONG_PTR>(window)), WM_USER + 1, 0, 0), 0);
  ASSERT_TRUE(Activate(window));
  EXPECT_EQ(gClicks, 2);

  // A second enable only replaces image and tooltip.
  Enable(indicator, 8);
  ASSERT_TRUE(Activate(window));
  EXPECT_EQ(CountIndicatorWindows(), 1);

  DisableAndWaitForEnd(indicator, thread);
  EXPECT_EQ(findWindow(env(), nullptr, nullptr, J(kTitle)), 0);
}

TEST_F(DesktopIndicatorTest, NullTooltipIsAllowed) {
  jobject indicator = Jvm().NewInstance(IndicatorClass());
  NATIVE(Java_com_stowly_guinative_DesktopIndicator_nativeEnable)(env(), indicator, 0, nullptr);
  EXPECT_EQ(ExceptionClass(), "");
  ASSERT_TRUE(WaitUntil([] { return CountIndicatorWindows() == 1; }));
  HWND window = ::FindWindowA(kClass, kTitle);
  DisableAndWaitForEnd(indicator, ::GetWindowThreadProcessId(window, nullptr));
}

TEST_F(DesktopIndicatorTest, DisableWithoutEnableDoesNothing) {
  jobject indicator = Jvm().NewInstance(IndicatorClass());
  Disable(indicator);
  Disable(indicator);
  EXPECT_EQ(Handler(indicator), 0);
  EXPECT_EQ(CountIndicatorWindows(), 0);
}

TEST_F(DesktopIndicatorTest, QuickDisableThenEnableGetsAWindow) {
  jobject a = Jvm().NewInstance(IndicatorClass());
  jobject b = Jvm().NewInstance(IndicatorClass());
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    Enable(a);
    ASSERT_TRUE(WaitUntil([] { return CountIndicatorWindows() == 1; }));
    HWND old = ::FindWindowA(kClass, kTitle);
    // The same object again, at once: the new indicator must not be cleared by the old one's
    // destruction.
    Disable(a);
    Disable(a);  // a second disable must not free the handler twice
    Enable(a);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(old) && CountIndicatorWindows() == 1; }));
    HWND window = ::FindWindowA(kClass, kTitle);
    ASSERT_TRUE(Activate(window));
    EXPECT_NE(Handler(a), 0);
    // The last indicator destroyed while another object is enabled: the thread either stays
    // or a new one starts, and the new indicator gets its window.
    Disable(a);
    Enable(b);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(window) && CountIndicatorWindows() == 1; }));
    window = ::FindWindowA(kClass, kTitle);
    ASSERT_TRUE(Activate(window));
    EXPECT_NE(Handler(b), 0);
    DisableAndWaitForEnd(b, ::GetWindowThreadProcessId(window, nullptr));
  }
}

TEST_F(DesktopIndicatorTest, TwoIndicatorsTwoWindowsOneThread) {
  jobject a = Jvm().NewInstance(IndicatorClass());
  jobject b = Jvm().NewInstance(IndicatorClass());
  Enable(a);
  Enable(b);
  ASSERT_TRUE(WaitUntil([] { return CountIndicatorWindows() == 2; }));
  HWND first = ::FindWindowExA(nullptr, nullptr, kClass, kTitle);
  HWND second = ::FindWindowExA(nullptr, first, kClass, kTitle);
  DWORD thread = ::GetWindowThreadProcessId(first, nullptr);
  EXPECT_EQ(::GetWindowThreadProcessId(second, nullptr), thread);
  Disable(a);
  ASSERT_TRUE(WaitUntil([] { return CountIndicatorWindows() == 1; }));
  ASSERT_TRUE(Activate(::FindWindowA(kClass, kTitle)));
  DisableAndWaitForEnd(b, thread);
}

TEST_F(DesktopIndicatorTest, ForeignRequestsAndQuitAreSafe) {
  jobject indicator = Jvm().NewInstance(IndicatorClass());
  Enable(indicator);
  ASSERT_TRUE(WaitUntil([] { return CountIndicatorWindows() == 1; }));
  HWND window = ::FindWindowA(kClass, kTitle);
  DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  // A destroy request naming no handler of ours, as a thread message and as a window message
  // from another program, is ignored.
  ::PostThreadMessageA(thread, WM_USER, 3, 0x12345678);
  ::PostMessageA(window, WM_USER, 3, 0x12345678);
  ASSERT_TRUE(Activate(window));
  EXPECT_NE(Handler(indicator), 0);
  // WM_QUIT ends the thread: its indicators are released and a new enable starts afresh.
  HANDLE h = ::OpenThread(SYNCHRONIZE, FALSE, thread);
  ::PostThreadMessageA(thread, WM_QUIT, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(h, 20000), WAIT_OBJECT_0);
  ::CloseHandle(h);
  EXPECT_EQ(Handler(indicator), 0);
  EXPECT_EQ(Jvm().LiveGlobalRefs(), globalsBefore_);
  Enable(indicator);
  ASSERT_TRUE(WaitUntil([] { return CountIndicatorWindows() == 1; }));
  window = ::FindWindowA(kClass, kTitle);
  ASSERT_TRUE(Activate(window));
  DisableAndWaitForEnd(indicator, ::GetWindowThreadProcessId(window, nullptr));
}

TEST_F(DesktopIndicatorTest, LoadAndFreeImage) {
  auto load = NATIVE(Java_com_stowly_guinative_DesktopIndicator_nativeLoadImage);
  auto freeImage = NATIVE(Java_com_stowly_guinative_DesktopIndicator_nativeFreeImage);
  char system[MAX_PATH];
  ::GetSystemDirectoryA(system, MAX_PATH);
  jint icon = load(env(), nullptr, J(std::string(system) + "\\shell32.dll"));
  EXPECT_NE(icon, -1);
  EXPECT_NE(icon, 1);
  if (icon != -1) {
    EXPECT_NE(freeImage(env(), nullptr, icon), 0);
  }
  EXPECT_EQ(load(env(), nullptr, J(WindowsPath(ZQ_NATIVA_DLL))), -1) << "a library without icons";
  TTempDir dir("icon");
  dir.Write("plain.txt", "not an icon");
  // Windows gives 1 for a file that is not an executable, library or icon file; Wine's
  // ExtractIconA gives none, so the native reports -1 there.
  bool wine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  EXPECT_EQ(load(env(), nullptr, J(dir.File("plain.txt"))), wine ? -1 : 1);
}

TEST_F(DesktopIndicatorTest, StoredTitleFindsAndRestoresWindow) {
  auto setTitle = NATIVE(Java_com_stowly_dialup_Nativa_SetTitle);
  auto newInstance = NATIVE(Java_com_stowly_dialup_Nativa_newInstance);
  auto restore = NATIVE(Java_com_stowly_guinative_DesktopIndicator_nativeRestoreWindow);
  auto showWindow = NATIVE(Java_com_stowly_guinative_Win32Util_showWindow);
  HWND window = ::CreateWindowExA(0, "STATIC", "Nativa test client", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  jint handle = static_cast<jint>(reinterpret_cast<LONG_PTR>(window));
  showWindow(env(), nullptr, handle, SW_MINIMIZE);
  EXPECT_TRUE(::IsIconic(window));
  setTitle(env(), nullptr, J("no such window title"));
  EXPECT_EQ(newInstance(env(), nullptr), 1);
  setTitle(env(), nullptr, J("Nativa test client"));
  EXPECT_EQ(newInstance(env(), nullptr), 0);
  EXPECT_FALSE(::IsIconic(window)) << "restored";
  showWindow(env(), nullptr, handle, SW_MINIMIZE);
  restore(env(), nullptr);
  EXPECT_FALSE(::IsIconic(window));
  ::DestroyWindow(window);
}

}  // namespace
}  // namespace nativa_test
