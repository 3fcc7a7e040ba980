// The console a command-line entry prints to. A Windows program built for the window has no
// console of its own: started from one, it writes its table and messages there.
#pragma once

void UseParentConsole();
