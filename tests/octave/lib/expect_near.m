function expect_near(actual, expected, tol, label)
% Same size; max|actual - expected| <= tol * max(1, max|expected|).
  ok = isequal(size(actual), size(expected));
  err = NaN;
  if ok
    scale = max(1, max(abs(expected(:))));
    if isempty(expected), scale = 1; end
    err = max([0; abs(actual(:) - expected(:))]) / scale;
    ok = err <= tol;
  end
  if ~ok
    label = sprintf('%s (relative error %g, tolerance %g, sizes %s / %s)', label, err, tol, ...
                    mat2str(size(actual)), mat2str(size(expected)));
  end
  record_result(ok, label);
end
