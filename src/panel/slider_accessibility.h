#pragma once

#include <functional>

#include <QString>

class QSlider;

namespace tonvisor {

// Tells assistive tools what a slider's position stands for, in its unit ("-0.5dB", "0 dB"),
// where they would otherwise read the bare position ("190", an EQ band at 0 dB as "47").
// Set once, when the slider is made and before it is named (naming it makes its interface).
void SetAccessibleValueText(QSlider* slider, std::function<QString(int position)> text);

}  // namespace tonvisor
