// "DNS Black List": picks one of the services "dnsbl.ini" describes and the
// answer categories to report, for one condition set's service record.
#pragma once

#include <windows.h>

#include <vector>

#include "filter/DnsblService.h"
#include "ui/DialogWindow.h"

namespace pw::ui {

class DnsblDialog final : public DialogWindow {
 public:
  // `service` is changed only on OK.
  explicit DnsblDialog(DnsblService& service);

  void OnInitDialog() override;
  void OnCommand(WPARAM wParam) override;
  bool OnOK() override;

 private:
  int SelectedDefinition() const;
  void ShowDefinition();

  DnsblService& service_;
  std::vector<DnsblDefinition> definitions_;
};

}  // namespace pw::ui
