// What the filter editors remember between openings: the rule that last
// received a condition made from a message, and the header field last
// chosen for a new condition (an index into the proposed names). The
// plug-in loads them from its settings and saves them back.
#pragma once

namespace pw::ui {

void SetFilterEditorDefaults(int rule, int field);
int FilterEditorDefaultRule();
int FilterEditorDefaultField();

}  // namespace pw::ui
