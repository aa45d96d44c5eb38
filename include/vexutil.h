/* vexutil: the whole public interface. */
#ifndef VEXUTIL_H
#define VEXUTIL_H

#include "vexutil/version.h"
#include "vexutil/util.h"
#include "vexutil/file.h"
#include "vexutil/flic.h"
#include "vexutil/formats.h"
#include "vexutil/movie.h"
#include "vexutil/yuv.h"
#include "vexutil/huff.h"
#include "vexutil/csfile.h"
#include "vexutil/gfile.h"
#include "vexutil/sfile.h"
#include "vexutil/ui.h"
#include "vexutil/ogfile.h"

#endif
