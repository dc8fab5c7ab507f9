// Every ui test runs with the plug-in's resources linked into the test
// program, which stands in for the DLL.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "base/Module.h"
#include "ui/UiClasses.h"

namespace {

class UiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0x1FF};
    InitCommonControlsEx(&icc);
    pw::SetDllModule(GetModuleHandleW(nullptr));
    pw::ui::RegisterUiClasses(GetModuleHandleW(nullptr));
  }
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace
