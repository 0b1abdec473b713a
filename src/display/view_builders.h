// The view builders are operations of the main window, declared with it in
// mainwindow/data_plotter.h (the block "View builders"); their bodies live in
// display/view_builders.cpp. Each takes FirstCurve as DisplayResults does
// (kRedrawFiledCurves, kRecomputeAllCurves, or k > 0 to keep slots 0..k-1).
#pragma once

#include "mainwindow/data_plotter.h"
#include "mainwindow/view_state.h"
