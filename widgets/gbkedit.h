#pragma once

class QLineEdit;

// Limits what can be typed or pasted into the box to maxBytes bytes of GBK text
// (20 bytes: 20 Latin or 10 Chinese characters).
void limitToGbkBytes(QLineEdit *edit, int maxBytes);
