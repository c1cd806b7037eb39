import os
import shutil

import pytest


@pytest.fixture(scope="session")
def batch():
    """The quarnel-batch program the module's numbers must equal."""
    path = os.environ.get("QUARNEL_BATCH") or shutil.which("quarnel-batch")
    if not path:
        pytest.skip("quarnel-batch not found (set QUARNEL_BATCH)")
    return path
