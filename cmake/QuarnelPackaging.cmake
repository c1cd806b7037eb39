# Nothing installed yet.
