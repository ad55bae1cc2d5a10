// What the module builds when it is loaded into a process and tears down when
// it goes, unit by unit in a fixed order.
#pragma once

#include <string>

namespace quillmer {

// The helper unit (host check, helper factory), the band unit (the settings'
// load sequence, ending with the band factory), the automation unit (the type
// library and the ConFace factory). When a step fails, what was built is torn
// down again, the message is shown in a box and kept, and the module serves
// nothing. Only the first call does anything until ServerUnload. The server
// is the module's own file unless modulePath names another (tests).
void ServerLoad(std::string modulePath = {});

// The reverse: the band unit's unload sequence (the settings are written),
// then the factories and the type library go.
void ServerUnload();

// Whether the last ServerLoad built everything; why not, when it did not
// (empty once unloaded).
bool ServerLoaded();
std::string ServerLoadError();

}  // namespace quillmer
