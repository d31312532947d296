#pragma once

class QComboBox;

// Lets a chooser of names be typed into: what is typed is completed from its items, any part of a
// name matching, in the items' own order. The list of items is not changed by typing.
void makeTypeable(QComboBox *combo);
