"""The batch's package from the source tree, and the built programs from the environment ctest
sets (ZEPHOR_BATCH, ZEPHOR, ZEPHOR_IMPORT, ZEPHOR_EXPORT)."""
import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "batch"))
