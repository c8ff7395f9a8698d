#pragma once

class CScreenshotWriter;

// Each renders the pictures of one area of the interface.
void ShootControls(CScreenshotWriter& writer);
void ShootDialogs(CScreenshotWriter& writer);
