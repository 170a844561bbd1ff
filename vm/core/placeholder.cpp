namespace tarvelo {}
