"""A sample of the interruption walk (scripts/walk_interruptions.py runs every index)."""

import unittest

from interruption_walk import walk_one

# In the small update that interruption_walk installs: the instrument's rz left waiting for the
# first file, main renamed into place, and the firmware version document renamed before the
# engine's.
SAMPLE = (16, 52, 116)


class InterruptionTest(unittest.TestCase):
    def test_an_update_ended_by_force_is_finished_by_the_next_start(self):
        for index in SAMPLE:
            with self.subTest(index=index):
                reached, faults = walk_one(index)
                self.assertTrue(reached, "the update ended before command %d" % index)
                self.assertEqual(faults, [])


if __name__ == "__main__":
    unittest.main()
