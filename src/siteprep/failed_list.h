// The --failed file: the site-list lines, as they stand, of every site of
// the run that was not prepared, so that it is a site list that runs them
// again. A site listed too many is only rewritten again to the same files;
// one listed too few would be lost from the next round. So the file is
// written before the first site as every site of the run, and shrinks as
// sites are done: now and then, at the end or a stop, and when an
// interrupt ends the run.
#pragma once

#include "report.h"
#include "site_list.h"

#include <string>

// Starts the list of the run's sites: writes every one of them, and from
// now on an interrupt that ends the run first writes the list as it
// stands. A device, a pipe or standard output is written once, at the
// end. The failure when the file could not be written. With sync, every
// writing of it is synced to the disk.
failure begin_failed_list(const std::string &path, const site_list &sites, bool sync);

// The run's line i failed.
void note_failed_site(size_t i);

// The run is done with its lines before reached; now and then the list
// is written as it stands.
void note_sites_reached(size_t reached);

// Writes the list as it stands (the failed sites and the sites not
// reached) and ends its part in an interrupt; the failure when it could
// not be written.
failure end_failed_list();

// For a run refused before its first site: every site of the run listed;
// the failure when the file could not be written.
failure list_every_site(const std::string &path, const site_list &sites, bool sync);
