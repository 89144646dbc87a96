"""A sample of the interruption walk (scripts/walk_interruptions.py runs every index)."""

import unittest

from interruption_walk import walk_one

# Early in the sends, among the deferred renames, and at the version documents' renames: the
# command indexes of the small update that interruption_walk installs.
SAMPLE = (12, 60, 84, 97)


class InterruptionTest(unittest.TestCase):
    def test_an_update_ended_by_force_is_finished_by_the_next_start(self):
        for index in SAMPLE:
            with self.subTest(index=index):
                reached, faults = walk_one(index)
                self.assertTrue(reached, "the update ended before command %d" % index)
                self.assertEqual(faults, [])


if __name__ == "__main__":
    unittest.main()
