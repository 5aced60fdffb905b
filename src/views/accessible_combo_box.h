#pragma once

namespace postrider {

// Screen readers on Linux hear a combo box by the name Qt gives it there,
// which is its current text: "equals", "None". From this call on, every combo
// box of the program is named as any other control is (its accessible name,
// else its label's text) and gives its current text as its value and as the
// text it shows. Call it once, before the first combo box is shown; later
// calls do nothing.
void InstallAccessibleComboBoxes();

}  // namespace postrider
