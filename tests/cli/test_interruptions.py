"""A sample of the interruption walk (scripts/walk_interruptions.py runs every index)."""

import unittest

from interruption_walk import reference_commands, walk_one

# The instrument's rz left waiting for the first file, main renamed into place, and the
# firmware's version document renamed before the engine's.
MOMENTS = ("rz", "mv .vorlen-update.main main", "mv .vorlen-update.config.xml config.xml")


class InterruptionTest(unittest.TestCase):
    def test_an_update_ended_by_force_is_finished_by_the_next_start(self):
        commands = reference_commands()
        for moment in MOMENTS:
            index = commands.index(moment) + 1
            with self.subTest(moment=moment, index=index):
                reached, faults = walk_one(index)
                self.assertTrue(reached, "the update ended before command %d" % index)
                self.assertEqual(faults, [])


if __name__ == "__main__":
    unittest.main()
