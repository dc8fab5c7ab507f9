// Control, string and picture ids of the filters windows.
#pragma once
