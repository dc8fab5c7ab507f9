// Control, string and picture ids of the viewer windows.
#pragma once
