"""The one error of the dataset tool and its readers."""


class DatasetError(Exception):
    """A request that cannot be honoured; the message is one line."""
