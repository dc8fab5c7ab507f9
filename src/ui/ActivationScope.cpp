#include "ui/ActivationScope.h"

#include "base/Module.h"

namespace pw::ui {
namespace {

HANDLE g_context = INVALID_HANDLE_VALUE;
bool g_tried = false;

HANDLE Context() {
  if (g_tried) return g_context;
  g_tried = true;
  wchar_t path[MAX_PATH] = {};
  if (!GetModuleFileNameW(DllModule(), path, MAX_PATH)) return g_context;
  ACTCTXW ctx = {sizeof(ctx)};
  ctx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  ctx.lpSource = path;
  ctx.hModule = DllModule();
  ctx.lpResourceName = MAKEINTRESOURCEW(2);
  g_context = CreateActCtxW(&ctx);
  return g_context;
}

}  // namespace

ActivationScope::ActivationScope() {
  HANDLE c = Context();
  if (c != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(c, &cookie_) != FALSE;
}

ActivationScope::~ActivationScope() {
  if (active_) DeactivateActCtx(0, cookie_);
}

void ReleaseActivationContext() {
  if (g_context != INVALID_HANDLE_VALUE) ReleaseActCtx(g_context);
  g_context = INVALID_HANDLE_VALUE;
  g_tried = false;
}

}  // namespace pw::ui
