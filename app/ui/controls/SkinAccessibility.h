#pragma once

// What assistive technologies see of the skinned controls that Qt has no
// interface for: a CStaticEx is a label (its text) or, without text, a
// picture; a CBitmapSlider is a slider whose value can be read and set, and
// reads "not yet known" until its owner knows the value. Installed once per
// process by the controls' constructors.
void InstallSkinAccessibility();
