#pragma once

namespace shotdate::fixtures {

// How many descriptors this process holds open now. Only differences mean
// anything: a leak shows as a count that grew over a run.
int openDescriptorCount();

} // namespace shotdate::fixtures
