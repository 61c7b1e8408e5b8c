#include "RDXDefs.h"

float WIN_X = 30.0f;
float WIN_Y = 50.0f;
float WIN_W = 400.0f;
float WIN_H = 125.0f;
