function expect_true(cond, label)
% The condition holds (all elements true, and not empty).
  record_result(~isempty(cond) && all(logical(cond(:))), label);
end
