#pragma once

// Days since 30 December 1899 00:00 local time; the fraction is the time of day; 0 means unset.
using TDateTime = double;
