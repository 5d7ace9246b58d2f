/* Velmora guest SDK: image files, block copies and flood fill. */
#ifndef VELMORA_IMAGES_H
#define VELMORA_IMAGES_H

#include "velmora_gate.h"

#endif
