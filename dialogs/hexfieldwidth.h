// Width of a hexadecimal entry field that shows all of its digits at once, in the field's own font
// and style.
#pragma once

class QLineEdit;

// Sets `edit` to a fixed width no smaller than `minimum` in which `digits` of the widest hex digit
// and the cursor after them fit without scrolling.
void fitHexDigits(QLineEdit *edit, int digits, int minimum);
