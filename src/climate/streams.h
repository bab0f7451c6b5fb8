// The program-wide streams of the passes over a site's files.
#pragma once

#include <cstdio>

// The file being read and the file being written by the current pass
// (create_soil writes newfp; create_site and weather read oldfp and write
// newfp); only the rewrite cycle sets them.
extern FILE *oldfp;
extern FILE *newfp;
