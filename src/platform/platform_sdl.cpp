// SDL entries of the platform seam (to be written).
