// Control, string and picture ids of the list windows.
#pragma once
