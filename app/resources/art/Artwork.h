#pragma once

#include <QImage>
#include <QStringView>

// The application's pictures, compiled in as Qt resources by number and type:
// ":/PNG/<n>.png", ":/BITMAP/<n>.png" and ":/ICON/<n>.png", each also drawn at
// twice the size as "<n>@2x.png".

// Picture `number` of `type` ("PNG", "BITMAP" or "ICON") for a screen of the
// given device pixel ratio: the 2x drawing above a ratio of 1, else the 1x
// one. The image carries its own device pixel ratio, so it keeps its logical
// size. A null image when the application has no such picture.
QImage LoadArtwork(QStringView type, int number, qreal devicePixelRatio);
