// What the installer asks of Netsorter.exe through its custom actions: the clean-up of a
// real uninstall and the step before an upgrade replaces the data files.
#pragma once

#include <string>

namespace netsorter {

// "/cleanup UILEVEL UPGRADECODE PRODUCTCODE": ends a running Netsorter.exe, then removes
// everything the program wrote for this user (the settings, autostart, Internet Explorer's
// menu item, the automation class, the browsers' hosts, %LOCALAPPDATA%\Netsorter) and each
// data file as it was shipped. A data file the user changed stays where it is. Does nothing
// while another product of the upgrade code is installed: that is an upgrade, whose own
// files and the user's data must stay. 0 on success; 1 when the running program would not
// end, said in a message box when the installer shows its own (UILEVEL above 2).
int cleanUp(const std::wstring& arguments);

// "/upgrade": removes the data files that are still as shipped, so that the newer version's
// copies replace them, while those the user changed stay (the installer never overwrites
// them).
int forgetUnchangedData();

}  // namespace netsorter
